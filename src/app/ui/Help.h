// Help and the version dialog, behind one replaceable host, so that a help window
// can take over without any change to the windows that ask for help.
#pragma once

#include <memory>

class QWidget;

// Help contexts of the windows.
enum THelpContext : int {
    hcExportSelectType = 4,
    hcExportSelectTarget = 5,
    hcMailListReadError = 178,
};

class IHelpHost {
public:
    virtual ~IHelpHost() = default;
    // The help page of a context.
    virtual void ShowContext(QWidget* parent, int context) = 0;
    // The help's table of contents.
    virtual void ShowContents(QWidget* parent) = 0;
    // The version dialog, modal.
    virtual void ShowAboutBox(QWidget* parent) = 0;
};

// Replaces the host; null puts back the one that says help is not installed.
void SetHelpHost(std::unique_ptr<IHelpHost> host);
IHelpHost& GetHelpHost();

inline void ShowHelpContext(QWidget* parent, int context)
{
    GetHelpHost().ShowContext(parent, context);
}
inline void ShowHelpContents(QWidget* parent) { GetHelpHost().ShowContents(parent); }
inline void ShowAboutBox(QWidget* parent) { GetHelpHost().ShowAboutBox(parent); }
