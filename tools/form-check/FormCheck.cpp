// form-check FILE: reads a form description with every registered class and prints its links,
// one line per link in dispatch order ("Source.Full.Name -> Sink.Full.Name"), exiting 0; a bad
// description gives "FILE:LINE:COLUMN: message" on standard error and exit code 1.
#include "app/Unit1Form.h"
#include "capture/CaptureClasses.h"
#include "components/ComponentClasses.h"
#include "pins/VokComponent.h"
#include "pins/VokFormReader.h"
#include "pins/VokFormText.h"
#include "pins/VokFormWriter.h"
#include "pins/VokPin.h"

#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

namespace {

/// Every class a window description may name: each library registers its own, then the
/// window's visual classes that no library built here provides get stand-ins (their settings
/// are kept as text and their pins do not exist, so only the processing links are listed).
void RegisterClasses() {
    RegisterVokClasses();
    RegisterComponentClasses();
    RegisterCaptureClasses();
    RegisterUnit1StandIns();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: form-check FILE\n";
        return 2;
    }
    const std::string path = argv[1];
    try {
        std::ifstream file(path, std::ios::binary);
        std::ostringstream contents;
        contents << file.rdbuf();
        if (!file.is_open() || file.bad()) {
            std::cerr << path << ":1:1: cannot read the file, expected a readable description\n";
            return 1;
        }
        VokInitializeFramework();
        RegisterClasses();
        TVokFormReader reader(path);
        // Handlers belong to the program that shows the window; any name is accepted here.
        reader.SetEventResolver([](TVokComponent&, const TVokPropertyInfo&, const std::string&) {
            return TVokEventValue{};
        });
        std::unique_ptr<TVokComponent> root = reader.Read(contents.str());
        std::ostringstream out;
        for (const TVokLinkEntry& link : VokListLinks(*root)) {
            out << link.m_source->GetFullName(true) << " -> " << link.m_sink->GetFullName(true)
                << '\n';
        }
        std::cout << out.str();
        return 0;
    } catch (const EVokFormError& error) {
        std::cerr << error.what() << '\n';
    } catch (const std::exception& error) {
        std::cerr << path << ":1:1: " << error.what() << '\n';
    }
    return 1;
}
