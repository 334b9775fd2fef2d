#pragma once

// The thumbnail grid as screen readers see it: a list whose children are the
// index's items, as Qt's own list views show theirs.
//
// Installed once; every CIndexView asked about afterwards answers with it.
void InstallIndexViewAccessibility();
