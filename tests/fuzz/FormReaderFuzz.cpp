// Fuzz harness of the form reader: any input either reads or fails with a description error,
// never crashes, leaks nothing (pins, placeholders, dispatchers), and what reads writes back
// to a description that reads and writes again to the same text and the same links. Classes:
// the test components, and stand-ins for the main window's visual classes.
#include "tests/pins/FormTestComponents.h"

#include "app/Unit1Form.h"

#include "pins/VokFormReader.h"
#include "pins/VokFormText.h"
#include "pins/VokFormWriter.h"
#include "pins/VokStandIn.h"
#include "pins/VokStateDispatcher.h"
#include "pins/VokUnloadedPin.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "form reader fuzz: %s\n", what);
        std::abort();
    }
}

TVokFormReader MakeReader(const char* name) {
    TVokFormReader reader(name);
    reader.SetEventResolver([](TVokComponent&, const TVokPropertyInfo&, const std::string&) {
        return TVokEventValue{formtest::TChangeEvent([] {})};
    });
    return reader;
}

std::string Write(const TVokComponent& root) {
    TVokFormWriter writer;
    writer.SetEventNamer(
        [](const TVokComponent&, const TVokPropertyInfo&, const TVokEventValue& value) {
            return value.m_handler.has_value() ? std::string("Handler") : std::string();
        });
    return writer.Write(root);
}

std::vector<std::string> Links(const TVokComponent& root) {
    std::vector<std::string> names;
    for (const TVokLinkEntry& link : VokListLinks(root)) {
        names.push_back(link.m_source->GetFullName(true) + " -> " + link.m_sink->GetFullName(true));
    }
    return names;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool s_registered = [] {
        RegisterVokClasses();
        formtest::RegisterFormTestClasses();
        // Stand-ins keep what they do not publish as written and write it back: the round
        // trip below checks that nothing of it changes.
        RegisterUnit1StandIns();
        RegisterVokStandInClass("TStandIn");
        RegisterVokStandInClass("TStandInForm", true);
        return true;
    }();
    (void)s_registered;
    const int64_t pins = TVokBasicPin::LiveCount();
    const int64_t placeholders = TVokUnloadedPin::PlaceholderCount();
    const int64_t dispatchers = TVokStateDispatcher::LiveCount();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        // Each window goes before the next is read: dispatcher names depend on the
        // dispatchers alive while reading.
        std::unique_ptr<TVokComponent> form = MakeReader("fuzz.form").Read(text);
        const std::string first = Write(*form);
        const std::vector<std::string> links = Links(*form);
        form.reset();
        std::unique_ptr<TVokComponent> again = MakeReader("first.form").Read(first);
        const std::string second = Write(*again);
        Check(Links(*again) == links, "links changed by writing and reading again");
        again.reset();
        std::unique_ptr<TVokComponent> third = MakeReader("second.form").Read(second);
        Check(Write(*third) == second, "a written description does not write back the same");
    } catch (const EVokFormError&) {
        // Bad input: the reader said so. Anything else escaping is a finding.
    }
    Check(TVokBasicPin::LiveCount() == pins, "pins left behind");
    Check(TVokUnloadedPin::PlaceholderCount() == placeholders, "placeholders left behind");
    Check(TVokStateDispatcher::LiveCount() == dispatchers, "dispatchers left behind");
    return 0;
}
