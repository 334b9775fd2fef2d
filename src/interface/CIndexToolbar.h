#pragma once

#include "CToolbar.h"

// The index window's toolbar ("indextoolbar7").
class CIndexToolbar : public CToolbar {
public:
    void ConfigureOnFirstUse() override;
    void CopyDefaultIdentifiers(QStringList& ioIdentifiers) override;
    void CopyAllowedIdentifiers(QStringList& ioIdentifiers) override;
};

// The media window's toolbar ("mediatoolbar7"); its visibility is kept in
// "MediaToolbarVisible".
class CMediaToolbar : public CToolbar {
public:
    ~CMediaToolbar() override;
    void ConfigureOnFirstUse() override;
    void CopyDefaultIdentifiers(QStringList& ioIdentifiers) override;
    void CopyAllowedIdentifiers(QStringList& ioIdentifiers) override;
};
