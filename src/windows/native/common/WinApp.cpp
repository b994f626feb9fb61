// The GUI entry's launch frame: a console for the trace when debugging, and
// a message box that shows the user why a launch failed.

#include "app.h"

#include <cstdio>
#include <ios>
#include <memory>
#include <stdexcept>

#include "ErrorHandling.h"
#include "FileUtils.h"
#include "Log.h"
#include "StringBuilder.h"
#include "SysInfo.h"
#include "WinSys.h"

namespace {

// The console of the process that started the launcher, or a new one, with
// standard output and standard error reopened onto it.
class Console {
public:
    Console() {
        if (!AttachConsole(ATTACH_PARENT_PROCESS) && !AllocConsole()) {
            return;
        }
        out = std::make_unique<Channel>(stdout);
        err = std::make_unique<Channel>(stderr);
    }
    ~Console() {
        err.reset();
        out.reset();
    }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    // One standard stream reopened in place onto the console device.
    class Channel {
    public:
        explicit Channel(FILE* target) : target(target) {
            const bool input = target == stdin;
            if (freopen_s(&reopened, input ? "CONIN$" : "CONOUT$", input ? "r" : "w", target) != 0) {
                reopened = nullptr;
            }
            std::ios_base::sync_with_stdio(true);
        }
        virtual ~Channel() {
            if (reopened) {
                fclose(reopened);
            }
            std::ios_base::sync_with_stdio(true);
        }
        Channel(const Channel&) = delete;
        Channel& operator=(const Channel&) = delete;

    private:
        FILE* reopened = nullptr;
        FILE* target;
    };

private:
    std::unique_ptr<Channel> out;
    std::unique_ptr<Channel> err;
};

// Shows the launch error text in a message box captioned with the
// executable's file name.
class LastErrorGuiLogAppender : public LogAppender {
public:
    void append(const LogRecord&) override {
        // A failure below is reported through the dispatcher, whose tee may
        // lead back here: such a nested report shows no second box.
        if (busy) {
            return;
        }
        busy = true;
        try {
            const WideString text = StringBuilder(app::launchErrorText()).text();
            const WideString caption = FileUtils::fileNameOf(SysInfo::executablePath());
            MessageBoxW(nullptr, text.c_str(), caption.c_str(), MB_ICONERROR);
        } catch (const std::runtime_error& e) {
            logCaughtError(CURRENT_POSITION, e);
        } catch (...) {
            logUnknownError(CURRENT_POSITION);
        }
        busy = false;
    }

private:
    bool busy = false;
};

} // namespace

namespace app {

int wlaunch(const std::nothrow_t&, LaunchFunction launchFunction) {
    std::unique_ptr<Console> console;
    try {
        if (debugSwitchOn()) {
            console = std::make_unique<Console>();
        }
    } catch (const std::runtime_error& e) {
        logCaughtError(CURRENT_POSITION, e);
    } catch (...) {
        logUnknownError(CURRENT_POSITION);
    }

    int result = 1;
    {
        LastErrorGuiLogAppender guiAppender;
        TeeLogAppender tee(&sharedLastErrorLogAppender(), &guiAppender);
        result = launch(std::nothrow, launchFunction, &tee);
    }
    console.reset();
    return result;
}

} // namespace app
