// The pages a newcomer reads first stay true to the code: the table in ARCHITECTURE.md from each
// caption of the window to its handler and file is the wiring's own, and the README's layout
// table names every folder of the tree.
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "app/WireHandlers.hpp"
#include "tests/app/ToolFixture.hpp"

namespace nuv::test {
namespace {

namespace fs = std::filesystem;

const fs::path kSource = NUV_SOURCE_DIR;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// The lines between two markers of a page.
std::vector<std::string> Between(const std::string& page, const std::string& begin,
                                 const std::string& end) {
    const auto from = page.find(begin);
    const auto to = page.find(end);
    if (from == std::string::npos || to == std::string::npos || to < from) return {};
    std::vector<std::string> lines = Lines(page.substr(from, to - from));
    lines.erase(lines.begin());  // the marker's own line
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    while (!lines.empty() && lines.front().empty()) lines.erase(lines.begin());
    return lines;
}

// The file of the tree (beside the tests) that defines each handler taking the tool.
std::map<std::string, std::string> HandlerFiles() {
    std::map<std::string, std::string> files;
    const std::regex definition(R"(^[A-Za-z_][\w:<>]* (\w+)\(Tool& tool)");
    for (const auto& entry : fs::recursive_directory_iterator(kSource)) {
        const fs::path relative = fs::relative(entry.path(), kSource);
        const std::string first = relative.begin()->string();
        if (entry.path().extension() != ".cpp" || first == "tests" || first == "build" ||
            first.front() == '.') {
            continue;
        }
        for (const std::string& line : Lines(ReadFile(entry.path()))) {
            std::smatch match;
            if (std::regex_search(line, match, definition)) {
                files.emplace(match[1].str(), relative.generic_string());
            }
        }
    }
    return files;
}

std::string BaseName(const std::string& handler) {
    return handler.substr(0, handler.find('('));
}

// A control's text in the table: its caption as the window shows it, or what kind it is.
std::string Shown(const Control* control) {
    if (control == nullptr) return "(timer)";
    switch (control->Kind()) {
        case ControlKind::ComboBox:
        case ControlKind::ListBox:
            return "(list)";
        default:
            return "\"" + Trimmed(control->Caption()) + "\"";
    }
}

// Two of a kind side by side, more as a range.
std::string Joined(const std::vector<std::string>& items) {
    if (items.size() == 1) return items.front();
    return items.front() + (items.size() == 2 ? " / " : " … ") + items.back();
}

class DocumentationTest : public ToolTest {
  protected:
    // The control of a wired event, by its window and name; none for a timer.
    const Control* ControlOf(const WiredHandler& wired) const {
        if (wired.window == "APC") return &tool.form2.Button1;
        return panel.Find(wired.control);
    }
};

// Every control with a handler is in the table once per event, and nothing else is; the table of
// ARCHITECTURE.md is the one the wiring gives, with the file that defines each handler. Run with
// the output below to see the table to put there.
TEST_F(DocumentationTest, TheHandlerTableOfArchitectureMdIsTheWiring) {
    tool.BuildPanel();
    const std::vector<WiredHandler> wiring = WireHandlers(tool);

    std::set<std::string> wired;
    for (const WiredHandler& entry : wiring) {
        wired.insert(entry.window + "/" + entry.control + "/" + entry.event);
    }
    std::set<std::string> handled;
    for (const Control* control : panel.All()) {
        if (control->onClick) handled.insert("main/" + control->Name() + "/click");
        if (control->onDoubleClick) handled.insert("main/" + control->Name() + "/double-click");
        if (control->onChange) handled.insert("main/" + control->Name() + "/change");
    }
    for (const Timer* timer : {&panel.Timer1, &panel.Timer2, &panel.Timer3, &panel.Timer4}) {
        if (timer->onTimer) handled.insert("main/" + timer->Name() + "/tick");
    }
    for (const Control* control : {&tool.form2.Button1, &tool.form2.Memo1}) {
        if (control->onClick) handled.insert("APC/" + control->Name() + "/click");
    }
    EXPECT_EQ(wired, handled) << "a handler was wired outside app/WireHandlers.cpp";

    const std::map<std::string, std::string> files = HandlerFiles();
    std::vector<std::string> table{"| window | caption | control | event | handler | file |",
                                   "|---|---|---|---|---|---|"};
    for (std::size_t i = 0; i < wiring.size();) {
        // Neighbours with one handler (the channels' buttons, the outputs) share a row.
        std::size_t end = i + 1;
        while (end < wiring.size() && wiring[end].window == wiring[i].window &&
               wiring[end].event == wiring[i].event &&
               BaseName(wiring[end].handler) == BaseName(wiring[i].handler)) {
            ++end;
        }
        std::vector<std::string> captions;
        std::vector<std::string> controls;
        std::vector<std::string> handlers;
        for (std::size_t k = i; k < end; ++k) {
            captions.push_back(Shown(ControlOf(wiring[k])));
            controls.push_back(wiring[k].control);
            handlers.push_back(wiring[k].handler);
        }
        const std::string base = BaseName(wiring[i].handler);
        const auto file = files.find(base);
        EXPECT_NE(file, files.end()) << base << " is defined nowhere in the tree";
        // One handler for all, or one per channel.
        std::string handler = handlers.front();
        if (handlers.back() != handler) {
            const auto argument = [](const std::string& call) {
                return call.substr(call.find('(') + 1, call.find(')') - call.find('(') - 1);
            };
            handler = BaseName(handler) + "(" + argument(handlers.front()) + " … " +
                      argument(handlers.back()) + ")";
        }
        table.push_back("| " + wiring[i].window + " | " + Joined(captions) + " | " +
                        Joined(controls) + " | " + wiring[i].event + " | `" + handler + "` | `" +
                        (file != files.end() ? file->second : "?") + "` |");
        i = end;
    }

    const std::vector<std::string> page = Between(
        ReadFile(kSource / "ARCHITECTURE.md"), "<!-- handlers:begin -->", "<!-- handlers:end -->");
    std::string expected;
    for (const std::string& line : table) expected += line + "\n";
    EXPECT_EQ(page, table) << "the table between the handler markers of ARCHITECTURE.md is to "
                              "be:\n"
                           << expected;
}

// The README's layout table (the first table after a line that begins "Layout") names every
// folder of the tree, and each folder it names is there.
TEST(ReadmeTest, TheLayoutTableNamesEveryFolder) {
    const std::vector<std::string> lines = Lines(ReadFile(kSource / "README.md"));
    std::set<std::string> named;
    bool inTable = false;
    for (const std::string& line : lines) {
        if (line.rfind("Layout", 0) == 0) {
            inTable = true;
            continue;
        }
        if (!inTable) continue;
        if (line.empty() && !named.empty()) break;
        if (line.rfind("| `", 0) != 0) continue;
        const std::string first = line.substr(0, line.find(" |", 2));
        const std::regex folder("`([\\w/]+/)`");
        for (std::sregex_iterator it(first.begin(), first.end(), folder), last; it != last; ++it) {
            named.insert((*it)[1].str());
        }
    }
    ASSERT_FALSE(named.empty()) << "README.md has no layout table after \"Layout\"";
    for (const std::string& folder : named) {
        EXPECT_TRUE(fs::is_directory(kSource / folder)) << folder << " is named but not there";
    }
    for (const auto& entry : fs::directory_iterator(kSource)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_directory() || name.front() == '.' || name == "build") continue;
        EXPECT_TRUE(named.count(name + "/") != 0) << name << "/ is missing from the layout table";
    }
}

}  // namespace
}  // namespace nuv::test
