#pragma once

#include <functional>

// Requests to end the program that do not come through its menus: SIGTERM (a session
// logging out, `kill`), SIGINT (Ctrl-C in a terminal), SIGHUP (the terminal closed) and
// the session manager's commit-data request. Each becomes one call of the program's own
// quit, made from the event loop on the GUI thread, so the program ends as if the user
// chose Quit and writes what it writes on a normal quit.
//
// The signal handlers only write the signal number into a self-pipe; a socket notifier
// reads it on the GUI thread. Requests that arrive while the quit is running (a second
// Ctrl-C while a document asks whether to save) are not stacked on top of it.
namespace QuitRequests {

// Installs the handlers (again: the quit is replaced). Needs a QGuiApplication for the
// session manager's request; without one only the signals are handled. Returns false
// when the self-pipe or a handler could not be set up; the signals then keep the
// system's default action.
bool Install(std::function<void()> quit);

// Gives the three signals back their default action and stops listening.
void Remove();

} // namespace QuitRequests
