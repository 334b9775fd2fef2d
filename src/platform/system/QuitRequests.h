#pragma once

#include <functional>

// Requests to end the program that do not come through its menus: SIGTERM (a session
// logging out, `kill`), SIGINT (Ctrl-C in a terminal), SIGHUP (the terminal closed) and
// the session manager's commit-data request. None of them can wait for a person to
// answer: each becomes one call of the program's `end`, made from the event loop on the
// GUI thread, which ends the program without asking. Only where the session manager
// allows interaction is `mayEndSession` asked first; when it answers false the session's
// end is called off.
//
// The signal handlers only write the signal number into a self-pipe; a socket notifier
// reads it on the GUI thread. Requests that arrive while `end` is running are not stacked
// on top of it.
namespace QuitRequests {

// Installs the handlers (again: the calls are replaced). Needs a QGuiApplication for the
// session manager's request; without one only the signals are handled. Returns false
// when the self-pipe or a handler could not be set up; the signals then keep the
// system's default action.
bool Install(std::function<void()> end, std::function<bool()> mayEndSession = {});

// Gives the three signals back their default action and stops listening.
void Remove();

} // namespace QuitRequests
