// The class-data cache's pure part: versions, keys, stamps and the choice
// of a launch's step and options.

#include "ClassDataCache.h"

#include <gtest/gtest.h>

namespace {

using namespace ClassDataCache;

TEST(ClassDataCacheVersion, FeatureVersionFromReleaseText) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        {"JAVA_VERSION=\"17.0.21.1\"\n", 17},
        {"IMPLEMENTOR=\"x\"\r\nJAVA_VERSION=\"25.0.3\"\r\nOS_NAME=\"Linux\"\r\n", 25},
        {"JAVA_VERSION=\"1.8.0_402\"\n", 8},
        {"JAVA_VERSION=\"26-ea\"\n", 26},
        {"JAVA_VERSION=21\n", 21},
        {"JAVA_VERSION=\"13\"", 13},
        {"JAVA_RUNTIME_VERSION=\"17.0.2+8\"\n", 0},
        {"JAVA_VERSION=\"\"\n", 0},
        {"JAVA_VERSION=\"x17\"\n", 0},
        {"JAVA_VERSION=\"123456\"\n", 0},
        {"", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(featureVersion(c.text), c.expected);
    }
}

TEST(ClassDataCacheVersion, SchemeOfEachVersionRange) {
    const struct {
        int version;
        Scheme expected;
    } cases[] = {
        {0, Scheme::None},           {12, Scheme::None},          {13, Scheme::StaticArchive},
        {17, Scheme::StaticArchive}, {25, Scheme::StaticArchive}, {31, Scheme::StaticArchive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        EXPECT_EQ(schemeFor(c.version), c.expected);
    }
}

TEST(ClassDataCacheOptions, PackagersSharingChoiceIsRecognised) {
    const struct {
        const wchar_t* option;
        bool chooses;
    } cases[] = {
        {L"-Xshare:off", true},
        {L"-Xshare:auto", true},
        {L"-XX:SharedArchiveFile=/a.jsa", true},
        {L"-XX:ArchiveClassesAtExit=/a.jsa", true},
        {L"-XX:+AutoCreateSharedArchive", true},
        {L"-XX:AOTCache=/a.aot", true},
        {L"-XX:AOTMode=off", true},
        {L"-XX:AOTCacheOutput=/a.aot", true},
        {L"-XX:-UseSharedSpaces", true},
        {L"-Xmx512m", false},
        {L"-Dsetting=-Xshare:off", false},
        {L"-xshare:off", false},
        {L"-Xlog:cds", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(tstrings::wideToUtf8(c.option));
        EXPECT_EQ(choosesSharing({L"-Xss1m", c.option}), c.chooses);
    }
    EXPECT_FALSE(choosesSharing({}));
}

TEST(ClassDataCacheKey, HashIsFnv1aOfTheUtf8Text) {
    EXPECT_EQ(hashText(L""), L"cbf29ce484222325");
    EXPECT_EQ(hashText(L"a"), L"af63dc4c8601ec8c");
    // Not the UTF-16 units: "é" is two bytes.
    EXPECT_NE(hashText(L"\u00e9"), hashText(L"\u00c3\u00a9"));
    EXPECT_EQ(hashText(L"\u00e9").size(), 16u);
}

TEST(ClassDataCacheKey, StampMatchesOnlyTheSameKeySizeAndTime) {
    const FileStamp made{true, 4096, 1700000000123456789};
    const std::string stamp = stampText(L"00112233aabbccdd", made);
    EXPECT_TRUE(stampMatches(stamp, L"00112233aabbccdd", made));

    const struct {
        const char* label;
        std::string stamp;
        WideString key;
        FileStamp found;
    } stale[] = {
        {"other key", stamp, L"00112233aabbccde", made},
        {"truncated", stamp, L"00112233aabbccdd", {true, 2048, made.modified}},
        {"rewritten", stamp, L"00112233aabbccdd", {true, 4096, made.modified + 1}},
        {"gone", stamp, L"00112233aabbccdd", {}},
        {"empty archive", stampText(L"k", {true, 0, 5}), L"k", {true, 0, 5}},
        {"empty stamp", "", L"00112233aabbccdd", made},
        {"stamp cut short", stamp.substr(0, stamp.size() - 1), L"00112233aabbccdd", made},
    };
    for (const auto& c : stale) {
        SCOPED_TRACE(c.label);
        EXPECT_FALSE(stampMatches(c.stamp, c.key, c.found));
    }
}

TEST(ClassDataCacheChoice, StepAndOptionsForEachState) {
    const Paths paths{L"/c/s.jsa", L"/c/s.classlist", L"/c/s.42.tmp"};
    const WideString quiet = L"-Xlog:cds*=off,class+path=off";
    State none;
    State archive;
    archive.archiveValid = true;
    State failed = archive;
    failed.failed = true;
    State listed;
    listed.classListValid = true;
    State creating = listed;
    creating.creationRunning = true;
    State creator = listed;
    creator.creator = true;
    State creatorDone = creator;
    creatorDone.archiveValid = true;
    State creatorWithout;
    creatorWithout.creator = true;
    State creatorFailed = creator;
    creatorFailed.failed = true;

    const struct {
        const char* label;
        Scheme scheme;
        State state;
        Step step;
        WideStringList options;
        WideString output;
        WideString target;
        bool startsCreation;
    } cases[] = {
        {"no scheme", Scheme::None, archive, Step::Nothing, {}, L"", L"", false},
        {"failure marker", Scheme::StaticArchive, failed, Step::Nothing, {}, L"", L"", false},
        {"first launch", Scheme::StaticArchive, none, Step::ListClasses, {L"-XX:DumpLoadedClassList=/c/s.42.tmp"},
         L"/c/s.42.tmp", L"/c/s.classlist", true},
        {"class list, no creation", Scheme::StaticArchive, listed, Step::StartCreation, {}, L"", L"", true},
        {"creation under way", Scheme::StaticArchive, creating, Step::Nothing, {}, L"", L"", false},
        {"hit", Scheme::StaticArchive, archive, Step::Use, {L"-XX:SharedArchiveFile=/c/s.jsa", quiet}, L"", L"",
         false},
        {"background creation", Scheme::StaticArchive, creator, Step::Create,
         {L"-Xshare:dump", L"-XX:SharedClassListFile=/c/s.classlist", L"-XX:SharedArchiveFile=/c/s.42.tmp", quiet},
         L"/c/s.42.tmp", L"/c/s.jsa", false},
        {"creation of an archive already there", Scheme::StaticArchive, creatorDone, Step::Nothing, {}, L"", L"",
         false},
        {"creation without a class list", Scheme::StaticArchive, creatorWithout, Step::Nothing, {}, L"", L"", false},
        {"creation of a failed key", Scheme::StaticArchive, creatorFailed, Step::Nothing, {}, L"", L"", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const Choice choice = choose(c.scheme, c.state, paths);
        EXPECT_EQ(choice.step, c.step) << stepName(choice.step);
        EXPECT_EQ(choice.options, c.options);
        EXPECT_EQ(choice.output, c.output);
        EXPECT_EQ(choice.target, c.target);
        EXPECT_EQ(choice.startsCreation, c.startsCreation);
    }
}

} // namespace
