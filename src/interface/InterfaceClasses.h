#pragma once

// Registers the interface kit's pane, window and attachment classes under their
// class IDs, so that layouts can name them.
void RegisterInterfaceClasses();
