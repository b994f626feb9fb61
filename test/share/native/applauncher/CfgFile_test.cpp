#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>

#include "CfgFile.h"
#include "ErrorHandling.h"
#include "TempDir.h"

namespace {

// The parsed file as plain text: section name -> property name -> values.
using Dump = std::map<WideString, std::map<WideString, WideStringList>>;

Dump dump(const CfgFile& cfg) {
    const SectionId sections[] = {SectionId::Application, SectionId::JavaOptions,
                                  SectionId::AppCDSJavaOptions,
                                  SectionId::AppCDSGenerateCacheJavaOptions,
                                  SectionId::ArgOptions};
    Dump result;
    for (const SectionId& section : sections) {
        for (const auto& [property, values] : cfg.sectionProperties(section)) {
            result[section.name()][property.name()] = values;
        }
    }
    return result;
}

std::string utf8(const WideString& text) {
    return tstrings::wideToUtf8(text);
}

class CfgFileTest : public ::testing::Test {
protected:
    WideString pathOf(const WideString& name) const {
#ifdef _WIN32
        return directory.widePath() + L"\\" + name;
#else
        return directory.widePath() + L"/" + name;
#endif
    }

    // Writes the bytes exactly as given and returns the file's path.
    WideString writeFile(const WideString& name, const std::string& bytes) const {
        const WideString path = pathOf(name);
#ifdef _WIN32
        const std::filesystem::path file(path);
#else
        const std::filesystem::path file(utf8(path));
#endif
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        EXPECT_TRUE(out.good()) << "cannot write " << utf8(path);
        return path;
    }

    CfgFile loadBytes(const std::string& bytes) const {
        return CfgFile::load(writeFile(L"app.cfg", bytes));
    }

    TempDir directory;
};

TEST_F(CfgFileTest, FormatRules) {
    struct Case {
        const char* what;
        std::string bytes;
        Dump expected;
    } cases[] = {
        {"empty file", "", {}},
        {"only comments and blank lines", "\n; [Application]\n\n;app.mainjar=a.jar\n", {}},
        {"sections, repeated values in file order, last line without LF",
         "[Application]\napp.mainjar=app.jar\napp.classpath=a.jar\napp.classpath=b.jar\n"
         "[JavaOptions]\njava-options=-Xmx1g\njava-options=-Da=b",
         {{L"Application", {{L"app.mainjar", {L"app.jar"}}, {L"app.classpath", {L"a.jar", L"b.jar"}}}},
          {L"JavaOptions", {{L"java-options", {L"-Xmx1g", L"-Da=b"}}}}}},
        {"a line without '=' is a name with an empty value",
         "[ArgOptions]\narguments\narguments=\narguments=x\n",
         {{L"ArgOptions", {{L"arguments", {L"", L"", L"x"}}}}}},
        {"no trimming: blanks around the name or before the line drop it",
         "[Application]\napp.mainjar = a.jar\n app.mainclass=A\napp.runtime= rt \n",
         {{L"Application", {{L"app.runtime", {L" rt "}}}}}},
        {"names are case-sensitive; unknown names and sections are dropped",
         "[Application]\nAPP.MAINJAR=a.jar\napp.unknown=x\n[Unknown]\napp.mainjar=b.jar\n",
         {}},
        {"properties before the first header are dropped",
         "app.mainjar=a.jar\n[Application]\napp.mainclass=A\n",
         {{L"Application", {{L"app.mainclass", {L"A"}}}}}},
        {"an escaped '=' belongs to the name, later '=' to the value",
         "[JavaOptions]\njava-options\\=x=1\njava-options=-Dk=v\\=w\n=lost\n",
         {{L"JavaOptions", {{L"java-options", {L"-Dk=v\\=w"}}}}}},
        {"the name ends at the last ']'; text after it is ignored",
         "[Application] trailing text\napp.mainjar=a.jar\n"
         "[ArgOptions]]\narguments=1\n[ ArgOptions ]\narguments=2\n"
         "[argoptions]\narguments=3\n[]\narguments=4\n",
         {{L"Application", {{L"app.mainjar", {L"a.jar"}}}}}},
        {"a later occurrence of a section replaces the earlier table",
         "[Application]\napp.mainjar=a.jar\n[JavaOptions]\njava-options=-X\n"
         "[Application]\napp.classpath=c.jar\n",
         {{L"Application", {{L"app.classpath", {L"c.jar"}}}},
          {L"JavaOptions", {{L"java-options", {L"-X"}}}}}},
        {"an occurrence that records nothing keeps the earlier table",
         "[Application]\napp.mainjar=a.jar\n[Application]\napp.unknown=x\n",
         {{L"Application", {{L"app.mainjar", {L"a.jar"}}}}}},
        {"known properties are stored in every known section",
         "[Application]\njava-options=-X\n[AppCDSJavaOptions]\napp.version=1\n"
         "[AppCDSGenerateCacheJavaOptions]\napp.memory=2\n",
         {{L"Application", {{L"java-options", {L"-X"}}}},
          {L"AppCDSJavaOptions", {{L"app.version", {L"1"}}}},
          {L"AppCDSGenerateCacheJavaOptions", {{L"app.memory", {L"2"}}}}}},
        {"UTF-8 values are decoded",
         "[Application]\napp.mainjar=Pr\xC3\xBC" "fung-\xE6\x97\xA5\xE6\x9C\xAC.jar\n",
         {{L"Application", {{L"app.mainjar", {L"Pr\u00FCfung-\u65E5\u672C.jar"}}}}}},
        {"a byte-order mark at the start of the file is skipped",
         "\xEF\xBB\xBF[Application]\napp.mainjar=a.jar\n",
         {{L"Application", {{L"app.mainjar", {L"a.jar"}}}}}},
        {"a byte-order mark elsewhere is part of the line",
         "[Application]\n\xEF\xBB\xBF" "app.mainjar=a.jar\napp.mainclass=A\n",
         {{L"Application", {{L"app.mainclass", {L"A"}}}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(dump(loadBytes(c.bytes)), c.expected);
    }
}

TEST_F(CfgFileTest, CrLfReadsAsLf) {
    // The CR of a CR LF pair goes on every OS, a lone CR stays; only the
    // Windows runtime's text mode also ends the file at byte 0x1A.
    const CfgFile cfg = loadBytes(
        "[ArgOptions]\r\narguments=crlf\r\narguments=lone\rcr\n\r\narguments=before\x1A"
        "\narguments=after\r\r\n");
#ifdef _WIN32
    const Dump expected = {{L"ArgOptions", {{L"arguments", {L"crlf", L"lone\rcr", L"before"}}}}};
#else
    const Dump expected = {
        {L"ArgOptions", {{L"arguments", {L"crlf", L"lone\rcr", L"before\x1A", L"after\r"}}}}};
#endif
    EXPECT_EQ(dump(cfg), expected);
}

TEST_F(CfgFileTest, CrLfPairAcrossTheReadBuffer) {
    // A pair whose CR ends one read of the file and whose LF starts the next.
    for (std::size_t padding = 8180; padding < 8200; ++padding) {
        SCOPED_TRACE(padding);
        const std::string value(padding, 'v');
        const CfgFile cfg = loadBytes("[ArgOptions]\narguments=" + value + "\r\narguments=next\r\n");
        const Dump expected = {{L"ArgOptions", {{L"arguments", {WideString(value.begin(), value.end()), L"next"}}}}};
        EXPECT_EQ(dump(cfg), expected);
    }
}

TEST_F(CfgFileTest, ReadsAFileByItsWidePath) {
    const WideString path = writeFile(L"Pr\u00FCfung-\u65E5\u672C.cfg",
                                                "[Application]\napp.mainjar=a.jar\n");
    const Dump expected = {{L"Application", {{L"app.mainjar", {L"a.jar"}}}}};
    EXPECT_EQ(dump(CfgFile::load(path)), expected);
}

// Returns the error thrown by CfgFile::load, checking that it carries the
// raise site.
std::string loadError(const WideString& path) {
    try {
        CfgFile::load(path);
    } catch (const VxError<std::runtime_error>& e) {
        const std::string what = e.what();
        EXPECT_NE(what.find("CfgFile.cpp("), std::string::npos) << what;
        EXPECT_NE(what.find("CfgFile::load"), std::string::npos) << what;
        return e.plainMessage();
    }
    ADD_FAILURE() << "no error for " << utf8(path);
    return "";
}

TEST_F(CfgFileTest, MissingBracketNamesPathAndLine) {
    struct Case {
        const char* what;
        std::string bytes;
        int line;
    } cases[] = {
        {"third line", "; comment\n[Application]\n[Application\napp.mainjar=a.jar\n", 3},
        {"first line after a byte-order mark", "\xEF\xBB\xBF[Application\n", 1},
        {"last line without LF", "[Application]\r\n\n[JavaOptions", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WideString path = writeFile(L"broken.cfg", c.bytes);
        EXPECT_EQ(loadError(path), "Error parsing [" + utf8(path) + "] file at " +
                                       std::to_string(c.line) + ": Missing ']' character");
    }
}

TEST_F(CfgFileTest, LineThatIsNotUtf8NamesPathAndLine) {
    struct Case {
        const char* what;
        std::string bytes;
        int line;
    } cases[] = {
        {"a Latin-1 header", "; made by an ANSI editor\n[Applicati\xF3n]\napp.mainjar=a.jar\n", 2},
        {"a value", "[Application]\napp.mainjar=\xFF.jar\n", 2},
        {"a comment", "[Application]\napp.mainjar=a.jar\n;caf\xE9\n", 3},
        {"a cut sequence on the last line", "[Application]\napp.mainjar=\xE6\x97", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const WideString path = writeFile(L"latin1.cfg", c.bytes);
        EXPECT_EQ(loadError(path), "Error parsing [" + utf8(path) + "] file at " +
                                       std::to_string(c.line) + ": The line is not valid UTF-8 text");
    }
}

TEST_F(CfgFileTest, UnreadableFilesNamePathAndReason) {
    const WideString missing = pathOf(L"n\u00E4mlos.cfg");
    const std::string openPrefix = "Error opening \"" + utf8(missing) + "\" file: ";
    const std::string message = loadError(missing);
    EXPECT_EQ(message.substr(0, openPrefix.size()), openPrefix);
    EXPECT_GT(message.size(), openPrefix.size()) << "the errno text is missing";

    // Windows refuses to open a directory as a file; POSIX opens it and
    // fails on the first read.
    const WideString folder = directory.widePath();
#ifdef _WIN32
    const std::string prefix = "Error opening \"" + utf8(folder) + "\" file: ";
#else
    const std::string prefix = "Failed to read \"" + utf8(folder) + "\" file up to the end: ";
#endif
    const std::string folderMessage = loadError(folder);
    EXPECT_EQ(folderMessage.substr(0, prefix.size()), prefix);
    EXPECT_GT(folderMessage.size(), prefix.size()) << "the errno text is missing";
}

TEST(CfgFileMacros, SubstitutesEveryValue) {
    const MacroTable launcherMacros = {
        {L"$APPDIR", L"C:\\App\\app"}, {L"$BINDIR", L"C:\\App"}, {L"$ROOTDIR", L"C:\\App"}};
    // Replacement texts naming other macros, nested three deep against the
    // order in which the macros are applied.
    const MacroTable chainedMacros = {
        {L"$APPDIR", L"C:\\a"}, {L"$BINDIR", L"$APPDIR\\b"}, {L"$ROOTDIR", L"$BINDIR\\r"}};
    const MacroTable emptyName = {{L"", L"never"}, {L"$X", L"x"}};
    struct Case {
        const MacroTable& macros;
        WideString value;
        WideString expected;
    } cases[] = {
        {launcherMacros, L"$APPDIR\\lib;$APPDIR", L"C:\\App\\app\\lib;C:\\App\\app"},
        {launcherMacros, L"$appdir $HOME $", L"$appdir $HOME $"},
        {launcherMacros, L"-Dx=$APPDIRX$ROOTDIR", L"-Dx=C:\\App\\appXC:\\App"},
        {chainedMacros, L"$ROOTDIR;$BINDIR", L"C:\\a\\b\\r;C:\\a\\b"},
        {emptyName, L"a$X", L"ax"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(utf8(c.value));
        CfgFile cfg;
        cfg.replaceValues(SectionId::JavaOptions, PropertyId::JavaOptions, {c.value, L"$APPDIR"});
        const CfgFile substituted = cfg.substituteMacros(c.macros);
        const PropertyTable& table = substituted.sectionProperties(SectionId::JavaOptions);
        ASSERT_EQ(table.count(PropertyId::JavaOptions), 1u);
        EXPECT_EQ(table.at(PropertyId::JavaOptions).at(0), c.expected);
        // The receiver keeps its values.
        EXPECT_EQ(cfg.sectionProperties(SectionId::JavaOptions).at(PropertyId::JavaOptions).at(0),
                  c.value);
    }
}

TEST(CfgFileMacros, MacrosThatNeverSettleAreRejected) {
    const MacroTable selfReference = {{L"$APPDIR", L"C:\\$APPDIR\\app"}, {L"$BINDIR", L"C:\\b"}};
    const MacroTable mutual = {{L"$APPDIR", L"$ROOTDIR\\app"}, {L"$ROOTDIR", L"$APPDIR\\.."}};
    const MacroTable throughAnother = {{L"$BINDIR", L"$ROOTDIR\\bin"},
                                       {L"$ROOTDIR", L"X:\\$ROOTDIR"}};
    // No replacement names a macro, but each pass forms a new name where a
    // replacement meets the text after it: "$A" + "A" -> "$" + "A" ...
    const MacroTable formedNames = {{L"$A", L"$"}};
    const WideString longValue = WideString(300, L'x') + L"$APPDIR";
    struct Case {
        const MacroTable& macros;
        WideString value;
        std::string message;
    } cases[] = {
        {selfReference, L"$APPDIR\\lib",
         "Macro substitution in \"$APPDIR\\lib\" does not end: \"$APPDIR\" -> \"$APPDIR\""},
        {mutual, L"$ROOTDIR",
         "Macro substitution in \"$ROOTDIR\" does not end: \"$ROOTDIR\" -> \"$APPDIR\" -> "
         "\"$ROOTDIR\""},
        {throughAnother, L"-cp $BINDIR",
         "Macro substitution in \"-cp $BINDIR\" does not end: \"$BINDIR\" -> \"$ROOTDIR\" -> "
         "\"$ROOTDIR\""},
        {formedNames, L"$AAAAA", "Macro substitution in \"$AAAAA\" does not settle after 2 passes"},
        {selfReference, longValue,
         "Macro substitution in \"" + std::string(200, 'x') +
             "...\" does not end: \"$APPDIR\" -> \"$APPDIR\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        CfgFile cfg;
        cfg.replaceValues(SectionId::Application, PropertyId::ClassPath, {L"plain", c.value});
        try {
            cfg.substituteMacros(c.macros);
            ADD_FAILURE() << "no error";
        } catch (const VxError<std::runtime_error>& e) {
            EXPECT_EQ(std::string(e.plainMessage()), c.message);
        }
    }

    // Values that stay clear of the cycle are substituted as usual.
    CfgFile cfg;
    cfg.replaceValues(SectionId::Application, PropertyId::MainJar, {L"$BINDIR\\a.jar"});
    EXPECT_EQ(cfg.substituteMacros(selfReference)
                  .sectionProperties(SectionId::Application)
                  .at(PropertyId::MainJar),
              WideStringList{L"C:\\b\\a.jar"});
}

TEST(CfgFileAccess, SectionsAndValues) {
    CfgFile cfg;
    EXPECT_TRUE(cfg.sectionProperties(SectionId::ArgOptions).empty());

    cfg.replaceValues(SectionId::ArgOptions, PropertyId::Arguments, {L"a", L"b"});
    cfg.replaceValues(SectionId::ArgOptions, PropertyId::Version, {L"1"});
    cfg.replaceValues(SectionId::ArgOptions, PropertyId::Arguments, {L"c", L"", L"d"});
    const PropertyTable& table = cfg.sectionProperties(SectionId::ArgOptions);
    ASSERT_EQ(table.size(), 2u);
    const auto& arguments = *table.find(PropertyId::Arguments);
    EXPECT_EQ(arguments.second, (WideStringList{L"c", L"", L"d"}));
    EXPECT_EQ(lastValueOf(arguments), L"d");
    EXPECT_EQ(joinValues(arguments, L' '), L"c  d");
    EXPECT_EQ(semicolonListOf(arguments), L"c;;d");
    EXPECT_EQ(semicolonListOf(*table.find(PropertyId::Version)), L"1");
    EXPECT_TRUE(cfg.sectionProperties(SectionId::Application).empty());

    cfg.replaceValues(SectionId::ArgOptions, PropertyId::Arguments, {});
    const auto& none = *cfg.sectionProperties(SectionId::ArgOptions).find(PropertyId::Arguments);
    EXPECT_EQ(lastValueOf(none), L"");
    EXPECT_EQ(semicolonListOf(none), L"");
}

TEST(CfgFileAccess, FindMatchesNamesExactly) {
    EXPECT_EQ(SectionId::find(L"AppCDSJavaOptions"), SectionId::AppCDSJavaOptions);
    EXPECT_EQ(PropertyId::find(L"app.modulepath"), PropertyId::ModulePath);
    EXPECT_EQ(PropertyId::find(L"java-options"), PropertyId::JavaOptions);
    for (const WideString& name : {WideString(L"application"), WideString(L"Application "),
                                   WideString(L""), WideString(L"Application\0x", 13)}) {
        EXPECT_FALSE(SectionId::find(name).has_value()) << utf8(name);
    }
    EXPECT_FALSE(PropertyId::find(L"app.MainJar").has_value());
    EXPECT_STREQ(SectionId::ArgOptions.name(), L"ArgOptions");
    EXPECT_STREQ(PropertyId::Runtime.name(), L"app.runtime");
    EXPECT_TRUE(SectionId::Application < SectionId::ArgOptions);
}

} // namespace
