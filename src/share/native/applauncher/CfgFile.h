#pragma once

// The launcher config file: sections of name=value properties over a fixed
// vocabulary, and the macro substitution of directory placeholders such as
// "$APPDIR" in the values.

#include <map>
#include <optional>

#include "tstrings.h"

// One known section. Copies as a reference to a static, NUL-terminated
// text; compared and ordered by that text.
class SectionId {
public:
    static const SectionId noSection; // empty text: no recognised section is open
    static const SectionId Application;
    static const SectionId JavaOptions;
    static const SectionId AppCDSJavaOptions;
    static const SectionId AppCDSGenerateCacheJavaOptions;
    static const SectionId ArgOptions;

    // The constant (noSection excluded) whose text equals name exactly.
    static std::optional<SectionId> find(const WideString& name);

    const wchar_t* name() const { return text; }

    friend bool operator==(SectionId a, SectionId b);
    friend bool operator!=(SectionId a, SectionId b) { return !(a == b); }
    friend bool operator<(SectionId a, SectionId b);

private:
    explicit constexpr SectionId(const wchar_t* text) : text(text) {}

    const wchar_t* text;
};

// One known property name; the same ones are recognised in every section.
class PropertyId {
public:
    static const PropertyId Version;
    static const PropertyId MainJar;
    static const PropertyId MainModule;
    static const PropertyId MainClass;
    static const PropertyId ClassPath;
    static const PropertyId ModulePath;
    static const PropertyId Runtime;
    static const PropertyId Splash;
    static const PropertyId Memory;
    static const PropertyId Arguments;
    static const PropertyId JavaOptions;
    // Repeatable: one JVM-option prefix that users may set in their own
    // options file.
    static const PropertyId UserOptions;
    static const PropertyId FastStart;
    static const PropertyId SingleInstance;

    static std::optional<PropertyId> find(const WideString& name);

    const wchar_t* name() const { return text; }

    friend bool operator==(PropertyId a, PropertyId b);
    friend bool operator!=(PropertyId a, PropertyId b) { return !(a == b); }
    friend bool operator<(PropertyId a, PropertyId b);

private:
    explicit constexpr PropertyId(const wchar_t* text) : text(text) {}

    const wchar_t* text;
};

// The values of each property of one section, in file order. A parsed
// table holds no empty list.
using PropertyTable = std::map<PropertyId, WideStringList>;
// Macro name ("$APPDIR") to its replacement text, applied in ascending
// order of the name.
using MacroTable = std::map<WideString, WideString>;

class CfgFile {
public:
    using SectionId = ::SectionId;
    using PropertyId = ::PropertyId;
    using PropertyTable = ::PropertyTable;
    using MacroTable = ::MacroTable;

    // Parses the file at path. A UTF-8 byte-order mark at the very start is
    // skipped. Throws VxError<std::runtime_error> when the file cannot be
    // opened, cannot be read to its end, or holds a header without ']'.
    static CfgFile load(const WideString& path);

    // A copy in which every macro name in every value is replaced, pass
    // after pass, until a pass changes nothing; the receiver is unchanged.
    // Throws VxError<std::runtime_error> when a value would never settle
    // (macros whose replacements lead back to themselves).
    CfgFile substituteMacros(const MacroTable& macros) const;

    // The section's table, or an empty table when the section is absent;
    // valid as long as this object.
    const PropertyTable& sectionProperties(SectionId section) const;

    // Makes values the whole list of the property in the section, creating
    // the entries when absent.
    void replaceValues(SectionId section, PropertyId property, const WideStringList& values);

private:
    std::map<SectionId, PropertyTable> sections;
    PropertyTable emptyTable;
};

// The value with its macros replaced as CfgFile::substituteMacros replaces
// them in a config value; throws the same errors.
WideString expandMacros(const WideString& value, const MacroTable& macros);

// The last value of the entry's list; empty for an empty list.
WideString lastValueOf(const PropertyTable::value_type& property);
// The values in order with delimiter between neighbours.
WideString joinValues(const PropertyTable::value_type& property, wchar_t delimiter);
WideString semicolonListOf(const PropertyTable::value_type& property);
