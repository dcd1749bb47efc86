// form-run FILE [--seconds S] [--enable NAME]... [--snapshot NAME=FILE.png]...
//
// Reads a form description with every registered class (stand-ins for the window's classes that
// have no real implementation yet), sets `Enabled` on the named components, lets the graph run
// for S seconds of wall time on an event loop, then writes each named display's picture as a PNG
// at the display's size from the description (the picture its image export gives). Without a
// display server the offscreen platform is used.
//
// Exit codes: 0 done, 1 a bad description ("FILE:LINE:COLUMN: message") or a failed step (one
// line naming the component), 2 bad arguments.
#include "app/Unit1Form.h"
#include "buffers/ZemVokStreamPins.h"
#include "capture/CaptureClasses.h"
#include "components/ComponentClasses.h"
#include "display/ZemScope.h"
#include "pins/VokComponent.h"
#include "pins/VokFormReader.h"
#include "pins/VokFormText.h"
#include "pins/VokPin.h"
#include "waterfall/ZemWaterfall.h"

#include <QApplication>
#include <QEventLoop>
#include <QImage>
#include <QTimer>

#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TOptions {
    std::string m_file;
    double m_seconds = 0.0;
    std::vector<std::string> m_enable;
    std::vector<std::pair<std::string, std::string>> m_snapshots;
};

constexpr const char* kUsage =
    "usage: form-run FILE [--seconds S] [--enable NAME]... [--snapshot NAME=FILE.png]...";

/// Parses the command line; false (after a message) for anything it does not understand.
bool ParseOptions(int argc, char** argv, TOptions& options) {
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        auto value = [&](const char* what) -> const char* {
            if (index + 1 >= argc) {
                std::cerr << "form-run: " << argument << " expects " << what << "\n";
                return nullptr;
            }
            return argv[++index];
        };
        if (argument == "--seconds") {
            const char* text = value("a number of seconds");
            if (text == nullptr) {
                return false;
            }
            char* end = nullptr;
            options.m_seconds = std::strtod(text, &end);
            if (end == text || *end != '\0' || !(options.m_seconds >= 0.0) ||
                options.m_seconds > 86400.0) {
                std::cerr << "form-run: --seconds expects a number from 0 to 86400, found '" << text
                          << "'\n";
                return false;
            }
        } else if (argument == "--enable") {
            const char* text = value("a component name");
            if (text == nullptr) {
                return false;
            }
            options.m_enable.emplace_back(text);
        } else if (argument == "--snapshot") {
            const char* text = value("NAME=FILE.png");
            if (text == nullptr) {
                return false;
            }
            const std::string pair = text;
            const size_t equals = pair.find('=');
            if (equals == std::string::npos || equals == 0 || equals + 1 == pair.size()) {
                std::cerr << "form-run: --snapshot expects NAME=FILE.png, found '" << pair << "'\n";
                return false;
            }
            options.m_snapshots.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
        } else if (!argument.empty() && argument[0] == '-') {
            std::cerr << "form-run: unknown option " << argument << "\n";
            return false;
        } else if (options.m_file.empty()) {
            options.m_file = argument;
        } else {
            std::cerr << "form-run: only one description may be given, found '" << argument
                      << "' as well\n";
            return false;
        }
    }
    if (options.m_file.empty()) {
        std::cerr << "form-run: no description given\n";
        return false;
    }
    return true;
}

/// The component named `name` among those `root` owns (or the root itself).
TVokComponent& FindNamed(TVokComponent& root, const std::string& name) {
    if (root.GetName() == name) {
        return root;
    }
    if (TVokComponent* found = root.FindComponent(name)) {
        return *found;
    }
    throw std::runtime_error("no component named '" + name + "' in the description");
}

void Enable(TVokComponent& root, const std::string& name) {
    TVokComponent& component = FindNamed(root, name);
    const TVokPropertyInfo* property = component.GetClassInfo().FindProperty("Enabled");
    if (property == nullptr || property->GetKind() != pkBool) {
        throw std::runtime_error("component '" + name + "' (" +
                                 component.GetClassInfo().GetClassName() +
                                 ") has no Enabled property to set");
    }
    property->Set(&component, true);
}

void Snapshot(TVokComponent& root, const std::string& name, const std::string& path) {
    auto* display = dynamic_cast<TZemDataDisplay*>(&FindNamed(root, name));
    if (display == nullptr) {
        throw std::runtime_error("component '" + name + "' is not a display, expected one to " +
                                 "take a picture of");
    }
    display->CheckNewData();
    const QImage picture = display->RenderPicture();
    if (!picture.save(QString::fromStdString(path), "PNG")) {
        throw std::runtime_error("cannot write the picture of '" + name + "' to " + path);
    }
}

} // namespace

int main(int argc, char** argv) {
    TOptions options;
    if (!ParseOptions(argc, argv, options)) {
        std::cerr << kUsage << "\n";
        return 2;
    }
    if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") == nullptr &&
        std::getenv("WAYLAND_DISPLAY") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication application(argc, argv);
    const std::string& path = options.m_file;
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    if (!file.is_open() || file.bad()) {
        std::cerr << path << ":1:1: cannot read the file, expected a readable description\n";
        return 1;
    }
    std::unique_ptr<TVokComponent> root;
    try {
        VokInitializeFramework();
        ZemInitializeBufferStreams();
        RegisterVokClasses();
        RegisterComponentClasses();
        RegisterCaptureClasses();
        RegisterDisplayClasses();
        RegisterWaterfallClasses();
        RegisterUnit1StandIns();
        TVokFormReader reader(path);
        // Handlers belong to a program that shows the window; any name is accepted here.
        reader.SetEventResolver([](TVokComponent&, const TVokPropertyInfo&, const std::string&) {
            return TVokEventValue{};
        });
        root = reader.Read(contents.str());
    } catch (const EVokFormError& error) {
        std::cerr << error.what() << '\n';
        return 1;
    } catch (const std::exception& error) {
        std::cerr << path << ":1:1: " << error.what() << '\n';
        return 1;
    }
    int status = 0;
    try {
        for (const std::string& name : options.m_enable) {
            Enable(*root, name);
        }
        QEventLoop loop;
        QTimer::singleShot(static_cast<int>(options.m_seconds * 1000.0), &loop, &QEventLoop::quit);
        loop.exec();
        for (const auto& [name, picture] : options.m_snapshots) {
            Snapshot(*root, name, picture);
        }
    } catch (const std::exception& error) {
        std::cerr << "form-run: " << error.what() << '\n';
        status = 1;
    }
    // Stop every producer before the displays go: components stop their threads as they are
    // freed, and freeing the root frees the whole tree.
    for (const std::string& name : options.m_enable) {
        try {
            TVokComponent& component = FindNamed(*root, name);
            component.GetClassInfo().SetValue(&component, "Enabled", false);
        } catch (...) {
            // Already reported above.
        }
    }
    root.reset();
    return status;
}
