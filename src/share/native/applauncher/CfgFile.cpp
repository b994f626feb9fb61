#include "CfgFile.h"

#include <cstddef>
#include <cwchar>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "ErrorHandling.h"
#include "StringBuilder.h"
#include "TextLineReader.h"

// Constant-initialised (constexpr constructors), so usable from any static
// initialiser.
const SectionId SectionId::noSection{L""};
const SectionId SectionId::Application{L"Application"};
const SectionId SectionId::JavaOptions{L"JavaOptions"};
const SectionId SectionId::AppCDSJavaOptions{L"AppCDSJavaOptions"};
const SectionId SectionId::AppCDSGenerateCacheJavaOptions{L"AppCDSGenerateCacheJavaOptions"};
const SectionId SectionId::ArgOptions{L"ArgOptions"};

const PropertyId PropertyId::Version{L"app.version"};
const PropertyId PropertyId::MainJar{L"app.mainjar"};
const PropertyId PropertyId::MainModule{L"app.mainmodule"};
const PropertyId PropertyId::MainClass{L"app.mainclass"};
const PropertyId PropertyId::ClassPath{L"app.classpath"};
const PropertyId PropertyId::ModulePath{L"app.modulepath"};
const PropertyId PropertyId::Runtime{L"app.runtime"};
const PropertyId PropertyId::Splash{L"app.splash"};
const PropertyId PropertyId::Memory{L"app.memory"};
const PropertyId PropertyId::Arguments{L"arguments"};
const PropertyId PropertyId::JavaOptions{L"java-options"};
const PropertyId PropertyId::UserOptions{L"app.user-options"};
const PropertyId PropertyId::FastStart{L"app.fast-start"};
const PropertyId PropertyId::SingleInstance{L"app.single-instance"};

namespace {

const SectionId* const knownSections[] = {
    &SectionId::Application,       &SectionId::JavaOptions,
    &SectionId::AppCDSJavaOptions, &SectionId::AppCDSGenerateCacheJavaOptions,
    &SectionId::ArgOptions,
};

const PropertyId* const knownProperties[] = {
    &PropertyId::Version,    &PropertyId::MainJar, &PropertyId::MainModule,
    &PropertyId::MainClass,  &PropertyId::ClassPath, &PropertyId::ModulePath,
    &PropertyId::Runtime,    &PropertyId::Splash,  &PropertyId::Memory,
    &PropertyId::Arguments,  &PropertyId::JavaOptions,
    &PropertyId::UserOptions,
    &PropertyId::FastStart,
    &PropertyId::SingleInstance,
};

template <class Id, std::size_t N>
std::optional<Id> findByName(const Id* const (&known)[N], const WideString& name) {
    for (const Id* id : known) {
        // A name holding a NUL is longer than any constant and matches none.
        if (name == id->name()) {
            return *id;
        }
    }
    return std::nullopt;
}

int compareNames(const wchar_t* a, const wchar_t* b) {
    return std::wcscmp(a, b);
}

} // namespace

std::optional<SectionId> SectionId::find(const WideString& name) {
    return findByName(knownSections, name);
}

bool operator==(SectionId a, SectionId b) {
    return compareNames(a.text, b.text) == 0;
}

bool operator<(SectionId a, SectionId b) {
    return compareNames(a.text, b.text) < 0;
}

std::optional<PropertyId> PropertyId::find(const WideString& name) {
    return findByName(knownProperties, name);
}

bool operator==(PropertyId a, PropertyId b) {
    return compareNames(a.text, b.text) == 0;
}

bool operator<(PropertyId a, PropertyId b) {
    return compareNames(a.text, b.text) < 0;
}

namespace {

// Collects the properties of the open section and hands them over when the
// next header (or the end of the file) closes it.
class SectionCollector {
public:
    void openSection(const WideString& name) {
        commitSection();
        open = SectionId::find(name).value_or(SectionId::noSection);
    }

    void recordProperty(const WideString& name, WideString value) {
        if (open == SectionId::noSection) {
            return;
        }
        if (const auto property = PropertyId::find(name)) {
            pending[*property].push_back(std::move(value));
        }
    }

    std::map<SectionId, PropertyTable> finish() {
        commitSection();
        return std::move(sections);
    }

private:
    // A later occurrence of a section replaces the whole table of an
    // earlier one, unless it recorded nothing.
    void commitSection() {
        if (open == SectionId::noSection || pending.empty()) {
            return;
        }
        sections[open] = std::move(pending);
        pending.clear();
        open = SectionId::noSection;
    }

    SectionId open = SectionId::noSection;
    PropertyTable pending;
    std::map<SectionId, PropertyTable> sections;
};

// Splits at the first '=' not preceded by a backslash; without one, the
// whole line is the name and the value is empty.
void splitProperty(const WideString& line, WideString& name, WideString& value) {
    std::size_t pos = 0;
    while ((pos = line.find(L'=', pos)) != WideString::npos) {
        if (pos == 0 || line[pos - 1] != L'\\') {
            name = line.substr(0, pos);
            value = line.substr(pos + 1);
            return;
        }
        ++pos;
    }
    name = line;
    value.clear();
}

} // namespace

CfgFile CfgFile::load(const WideString& path) {
    TextLineReader reader(path);
    if (!reader.opened()) {
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "Error opening \"" << path << "\" file: " << errnoText()).utf8()));
    }
    SectionCollector collector;
    TextLineReader::Line line;
    WideString name;
    WideString value;
    while (reader.next(line)) {
        // Only a line past the largest string there is: no value is cut.
        if (line.tooLong) {
            throwWithPosition(
                std::runtime_error((StringBuilder() << "Error parsing [" << path << "] file at "
                                                    << line.number << ": The line is too long")
                                       .utf8()));
        }
        // A line saved in another encoding (an editor's ANSI code page) is
        // not dropped in silence: it may be the header that all the
        // application's properties depend on.
        if (!line.validUtf8) {
            throwWithPosition(std::runtime_error(
                (StringBuilder() << "Error parsing [" << path << "] file at " << line.number
                                 << ": The line is not valid UTF-8 text")
                    .utf8()));
        }
        const WideString& text = line.text;
        if (text.empty() || text[0] == L';') {
            continue;
        }
        if (text[0] == L'[') {
            const std::size_t close = text.rfind(L']');
            if (close == WideString::npos) {
                throwWithPosition(std::runtime_error(
                    (StringBuilder() << "Error parsing [" << path << "] file at " << line.number
                                     << ": Missing ']' character")
                        .utf8()));
            }
            collector.openSection(text.substr(1, close - 1));
            continue;
        }
        splitProperty(text, name, value);
        collector.recordProperty(name, std::move(value));
    }
    if (reader.failed()) {
        throwWithPosition(std::runtime_error((StringBuilder() << "Failed to read \"" << path
                                                              << "\" file up to the end: "
                                                              << errnoText())
                                                 .utf8()));
    }

    CfgFile result;
    result.sections = collector.finish();
    return result;
}

namespace {

// Replaces macro names in values pass after pass until a pass changes
// nothing. A macro whose replacement leads back to itself, directly or
// through other macros, would make every pass grow the value without end:
// a value holding the name of such a macro is rejected before that name is
// replaced, so nothing ever grows through a cycle.
class MacroExpander {
    // Values can be long; a message box needs only their start.
    static constexpr std::size_t maxShown = 200;

public:
    explicit MacroExpander(const MacroTable& macros) : macros(macros) { findCycles(); }

    WideString expand(const WideString& value) const {
        // Without cycles each pass resolves one more level of nesting, and
        // there are no more levels than macros; one pass more confirms the
        // result. Only names formed where a replacement joins the text
        // around it can go on longer: those values are rejected as well.
        const std::size_t maxPasses = macros.size() + 1;
        WideString current = value;
        for (std::size_t pass = 0; pass < maxPasses; ++pass) {
            rejectCycles(value, current);
            WideString next = applyAll(current);
            if (next == current) {
                return current;
            }
            current = std::move(next);
        }
        throwWithPosition(std::runtime_error(
            (StringBuilder() << "Macro substitution in \"" << tstrings::excerpt(value, maxShown)
                             << "\" does not settle after " << maxPasses << " passes")
                .utf8()));
    }

private:
    WideString applyAll(WideString text) const {
        for (const auto& [name, replacement] : macros) {
            if (!name.empty()) {
                text = tstrings::replaceAll(text, name, replacement);
            }
        }
        return text;
    }

    void rejectCycles(const WideString& value, const WideString& current) const {
        for (const auto& [name, cycle] : cycles) {
            if (current.find(name) == WideString::npos) {
                continue;
            }
            StringBuilder message;
            message << "Macro substitution in \"" << tstrings::excerpt(value, maxShown)
                    << "\" does not end: ";
            for (std::size_t i = 0; i < cycle.size(); ++i) {
                message << (i ? " -> \"" : "\"") << cycle[i] << "\"";
            }
            throwWithPosition(std::runtime_error(message.utf8()));
        }
    }

    // For every macro from which the mentions in replacement texts reach a
    // macro twice: the names along the way, ending with the repeated one.
    void findCycles() {
        for (const auto& entry : macros) {
            if (entry.first.empty()) {
                continue;
            }
            std::vector<WideString> path;
            if (reachesCycle(entry.first, path)) {
                cycles.emplace(entry.first, std::move(path));
            }
        }
    }

    bool reachesCycle(const WideString& name, std::vector<WideString>& path) {
        if (acyclic.count(name)) {
            return false;
        }
        for (const WideString& seen : path) {
            if (seen == name) {
                path.push_back(name);
                return true;
            }
        }
        path.push_back(name);
        const WideString& replacement = macros.at(name);
        for (const auto& entry : macros) {
            if (!entry.first.empty() && replacement.find(entry.first) != WideString::npos &&
                reachesCycle(entry.first, path)) {
                return true;
            }
        }
        path.pop_back();
        acyclic.insert(name);
        return false;
    }

    const MacroTable& macros;
    std::map<WideString, std::vector<WideString>> cycles;
    // Macros known to reach no cycle, so that none is explored twice.
    std::set<WideString> acyclic;
};

} // namespace

CfgFile CfgFile::substituteMacros(const MacroTable& macros) const {
    CfgFile result(*this);
    const MacroExpander expander(macros);
    for (auto& [section, table] : result.sections) {
        for (auto& [property, values] : table) {
            for (WideString& value : values) {
                value = expander.expand(value);
            }
        }
    }
    return result;
}

WideString expandMacros(const WideString& value, const MacroTable& macros) {
    return MacroExpander(macros).expand(value);
}

const PropertyTable& CfgFile::sectionProperties(SectionId section) const {
    const auto found = sections.find(section);
    return found == sections.end() ? emptyTable : found->second;
}

void CfgFile::replaceValues(SectionId section, PropertyId property, const WideStringList& values) {
    sections[section][property] = values;
}

WideString lastValueOf(const PropertyTable::value_type& property) {
    return property.second.empty() ? WideString() : property.second.back();
}

WideString joinValues(const PropertyTable::value_type& property, wchar_t delimiter) {
    WideString joined;
    for (std::size_t i = 0; i < property.second.size(); ++i) {
        if (i) {
            joined += delimiter;
        }
        joined += property.second[i];
    }
    return joined;
}

WideString semicolonListOf(const PropertyTable::value_type& property) {
    return joinValues(property, L';');
}
