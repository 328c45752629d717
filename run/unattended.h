// The switches of an unattended run put into effect: the silent window
// system, the log (every message and the ending in it) and the program
// folder of /D=. Only a package that carries our manifest heeds them.
#pragma once

#include <memory>
#include <string>

#include "platform/silent_ui.h"
#include "run/command_line.h"

namespace mdl_main {

// The switches the next Main heeds (none by default). The Windows program
// reads them from its command line, `updpack run` from its options.
void SetSwitches(Switches switches);
const Switches &CurrentSwitches();

// {app}: the folder /D= names, made absolute, once the switches are in
// effect; else the folder the package was started from.
std::string AppFolder();

// The log's backend (unattended.cpp).
class LoggedUi;

// Holds the switches in effect for one run of Main and restores the window
// system when Main is left (the tool and the tests go on after it).
class Unattended {
public:
  Unattended();
  ~Unattended();
  Unattended(const Unattended &) = delete;
  Unattended &operator=(const Unattended &) = delete;

  // Called once the manifest has been read; ours: the package carries one
  // (intact or damaged). Opens the log, puts a silent window system in
  // front of the installed one, shows the usage and ends the program for
  // /?, and takes the program folder. Raises when /D= names no folder.
  // A package of ours takes the run's lock here: false when another copy
  // holds it (its log then goes on after the lines there).
  bool Begin(bool ours);

private:
  // Opens the log of /LOG= (anew: emptied) with its first lines.
  void StartLog(bool anew);

  platform::UiBackend *installed_;
  // Each held as its own class: a backend is not deleted through its
  // interface (platform/ui.h).
  std::unique_ptr<platform::SilentUi> silent_;
  std::unique_ptr<LoggedUi> logged_;
};

} // namespace mdl_main
