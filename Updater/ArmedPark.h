// The Park copy started in wait mode for the main application. Until the package has started
// (and so has Park's path to release it) Park waits for the Updater alone: every way out of the
// launch before that, a failure or an exception, tells it to quit, so that no Park is left
// waiting for a signal that nobody will send.
#pragma once

#include <string>

namespace Lm {
namespace Updater {

class CArmedPark {
public:
    CArmedPark(const std::wstring& parkCopy, const std::wstring& workFolder);
    // Armed: waits a moment for Park to make its events, then starts the copy once more with
    // the terminate signal (its result is not looked at). Never throws.
    ~CArmedPark();
    CArmedPark(const CArmedPark&) = delete;
    CArmedPark& operator=(const CArmedPark&) = delete;

    // Starts the copy in wait mode with the command line, in the work folder; armed once it
    // started. False when the shell could not start it.
    bool StartWaiting(const std::wstring& commandLine);
    // The package has started: releasing Park is its business from here on.
    void HandOver() { m_armed = false; }

private:
    std::wstring m_parkCopy;
    std::wstring m_workFolder;
    bool m_armed = false;
};

} // namespace Updater
} // namespace Lm
