// The Outlook stand-in: an automation server registered as "Outlook.Application"
// that serves Outlook data files (.pst, .ost), and the profile of data files it
// opens.
#pragma once

#include <QString>
#include <QStringList>

namespace OutlookPst {

// Registers "Outlook.Application" in the automation class registry. Each new
// application object opens the data files of the session list when one is set,
// otherwise those of the profile, and registers itself as the running object.
void RegisterOutlookApplication();

// Data files for the application objects made from now on, in place of the
// profile's (a program's --store options); the profile is not touched.
void SetSessionStores(const QStringList& paths);
void ClearSessionStores();

// Opens a data file ahead of the session to learn whether it can be read: empty
// when it can, else a message in Japanese naming the file and the reason. A file
// that opens stays open for the next application object, which takes it over
// instead of opening it a second time.
QString CheckDataFile(const QString& path);

// The profile: one data file path per line, in $TIDEWELL_OUTLOOK_PROFILE, else
// in $XDG_CONFIG_HOME/tidewell/outlook-profile (~/.config when unset).
QString ProfilePath();
// The profile's paths; an absent profile file is an empty profile.
QStringList ProfileStores();
// Adds a data file (its absolute path); a path already listed is kept once.
// Raises EInOutError when the profile cannot be written.
void AddProfileStore(const QString& path);
// Removes a data file; raises Exception when the profile does not list it.
void RemoveProfileStore(const QString& path);

} // namespace OutlookPst
