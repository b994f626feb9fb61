#include <gtest/gtest.h>

#include <stdexcept>

#include "Bytes.h"
#include "ErrorHandling.h"
#include "PeFixture.h"
#include "PeImage.h"
#include "ResourceWriter.h"
#include "VersionBlock.h"

namespace {

std::string versionBlock() {
    VersionBlock block;
    block.strings = {{L"ProductName", L"Orbit"}};
    return block.serialize();
}

std::vector<Resource> readBack(const std::string& image) {
    return ResourceTree::read(image, PeImage::readLayout(image));
}

void expectSameResources(const std::vector<Resource>& actual, const std::vector<Resource>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (const Resource& want : expected) {
        bool found = false;
        for (const Resource& have : actual) {
            if (have.type == want.type && have.name == want.name && have.language == want.language) {
                EXPECT_EQ(have.data, want.data);
                found = true;
            }
        }
        EXPECT_TRUE(found) << tstrings::wideToUtf8(want.type.text) << want.type.id;
    }
}

// What every rewritten image must satisfy: the checksum is right, the
// image size covers every section, the sections follow each other in
// memory without a gap, and their file data lies in the file.
void expectSoundImage(const std::string& image) {
    const PeImage::Layout layout = PeImage::readLayout(image);
    EXPECT_EQ(Bytes::u32(image, layout.optionalHeader + PeImage::checksumField, "test"),
              ResourceWriter::checksum(image));
    std::uint32_t next = layout.sections.front().address;
    for (const PeImage::Section& section : layout.sections) {
        EXPECT_EQ(section.address, next);
        EXPECT_EQ(section.rawOffset % layout.fileAlignment, 0u);
        EXPECT_LE(std::size_t{section.rawOffset} + section.rawSize, image.size());
        next = static_cast<std::uint32_t>(PeFixture::align(section.address + section.virtualSize,
                                                           layout.sectionAlignment));
    }
    EXPECT_EQ(Bytes::u32(image, layout.optionalHeader + PeImage::imageSizeField, "test"), next);
}

TEST(ResourceWriterTest, RewritesAndReadsBack) {
    // (label, fixture, whether a section is added)
    struct Case {
        const char* label;
        PeFixture fixture;
        bool added;
    };
    std::vector<Case> cases;
    for (bool pe32Plus : {true, false}) {
        PeFixture last;
        last.pe32Plus = pe32Plus;
        last.resources = launcherResources(versionBlock());
        PeFixture followed = last;
        followed.relocationsAfter = true;
        PeFixture withSymbols = followed;
        withSymbols.symbols = std::string(300, 'S');
        cases.push_back({pe32Plus ? "PE32+, resources last" : "PE32, resources last", last, false});
        cases.push_back({pe32Plus ? "PE32+, relocations after" : "PE32, relocations after", followed, true});
        cases.push_back({"symbol table after the sections", withSymbols, true});
    }
    std::vector<Resource> wanted = launcherResources(versionBlock());
    wanted[0].data = std::string(5000, 'i');  // larger than before: the section grows
    wanted.push_back({{ResourceTypes::icon, {}}, {2, {}}, 0x409, "png"});
    // Empty data, last in the section: its address is the section's end.
    wanted.push_back({{99, {}}, {1, {}}, 0x409, ""});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string image = c.fixture.build();
        expectSameResources(readBack(image), c.fixture.resources);
        const std::string out = ResourceWriter::replaceResources(image, wanted, false);
        expectSoundImage(out);
        expectSameResources(readBack(out), wanted);
        EXPECT_EQ(PeImage::exportedNames(out), std::vector<std::string>{"jvmLauncherGetAPI"});

        const PeImage::Layout before = PeImage::readLayout(image);
        const PeImage::Layout after = PeImage::readLayout(out);
        EXPECT_EQ(after.sections.size(), before.sections.size() + (c.added ? 1 : 0));
        // The code and everything before the resources keep their place and bytes.
        EXPECT_EQ(out.compare(before.sections[0].rawOffset, before.sections[0].rawSize, image,
                              before.sections[0].rawOffset, before.sections[0].rawSize),
                  0);
        if (!c.fixture.symbols.empty()) {
            const std::uint32_t symbols = Bytes::u32(out, after.fileHeader + 8, "test");
            EXPECT_EQ(out.substr(symbols), c.fixture.symbols);
        }
        // Initialised data grows by the new section's file size.
        const auto initialized = [](const std::string& bytes, const PeImage::Layout& layout) {
            return Bytes::u32(bytes, layout.optionalHeader + PeImage::initializedDataField, "test");
        };
        const std::uint32_t oldRsrc = c.added ? 0 : before.sections[2].rawSize;
        EXPECT_EQ(initialized(out, after), initialized(image, before) - oldRsrc + after.sections.back().rawSize);

        // Again, from the output: same bytes for the same input, and the
        // section in use is rewritten in place, not added once more.
        EXPECT_EQ(ResourceWriter::replaceResources(image, wanted, false), out);
        const std::string twice = ResourceWriter::replaceResources(out, wanted, false);
        EXPECT_EQ(PeImage::readLayout(twice).sections.size(), after.sections.size());
        EXPECT_EQ(twice.size(), out.size());
        expectSoundImage(twice);
    }
}

TEST(ResourceWriterTest, Signatures) {
    PeFixture fixture;
    fixture.resources = launcherResources(versionBlock());
    fixture.certificate = std::string(64, 'C');
    const std::string signedImage = fixture.build();
    EXPECT_TRUE(ResourceWriter::isSigned(signedImage));
    EXPECT_THROW(ResourceWriter::replaceResources(signedImage, fixture.resources, false), std::runtime_error);

    const std::string stripped = ResourceWriter::replaceResources(signedImage, fixture.resources, true);
    EXPECT_FALSE(ResourceWriter::isSigned(stripped));
    EXPECT_EQ(stripped.find(fixture.certificate), std::string::npos);
    expectSoundImage(stripped);

    // A certificate table that is not the file's tail cannot be cut off.
    std::string inside = signedImage + "trailing";
    EXPECT_THROW(ResourceWriter::replaceResources(inside, fixture.resources, true), std::runtime_error);
}

TEST(ResourceWriterTest, RefusesWhatItCannotRewrite) {
    PeFixture fixture;
    fixture.relocationsAfter = true;
    fixture.resources = launcherResources(versionBlock());
    const std::string good = fixture.build();
    const PeImage::Layout layout = PeImage::readLayout(good);
    const std::size_t afterTable = layout.sectionTable + 40 * layout.sections.size();

    std::string noRoom = good;
    noRoom[afterTable + 3] = 'x';
    std::string noResourceEntry = good;
    PeFixture::putAt(noResourceEntry, layout.directories - 4, 2);
    std::string badAlignment = good;
    PeFixture::putAt(badAlignment, layout.optionalHeader + PeImage::fileAlignmentField, 0x300);
    std::string sectionPastEnd = good;
    PeFixture::putAt(sectionPastEnd, layout.sectionTable + 16, 0x100000);
    std::string loop = good;
    // The resource root's first entry pointing at the root again.
    PeFixture::putAt(loop, layout.sections[2].rawOffset + 20, 0x80000000);
    const struct {
        const char* label;
        std::string image;
        const char* message;
    } cases[] = {
        {"no room for another section header", noRoom,
         "Cannot rewrite the resources of this image: there is no room for another section header"},
        {"no resource directory entry", noResourceEntry,
         "Cannot rewrite the resources of this image: its header has no entry for resources"},
        {"file alignment not a power of two", badAlignment, "The executable image is damaged"},
        {"section data past the end", sectionPastEnd, "The executable image is damaged"},
        {"resource directory in a loop", loop, "The executable image is damaged"},
        {"not an image", "MZ" + std::string(100, '\0'), "Not an executable image"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        try {
            ResourceTree::read(c.image, PeImage::readLayout(c.image));
            ResourceWriter::replaceResources(c.image, fixture.resources, false);
            ADD_FAILURE() << "accepted";
        } catch (const VxError<std::runtime_error>& error) {
            EXPECT_EQ(std::string(error.plainMessage()), c.message);
        }
    }
}

// The export table's counts are bounded by the file: a count of 0xFFFFFFFF
// once made the reader allocate until it failed, and a million names that
// all point at one long run of bytes would copy it a million times.
TEST(PeImageTest, ExportNamesWithinTheFile) {
    PeFixture fixture;
    fixture.exportTail = std::string(64 * 1024, 'A') + '\0';
    fixture.nameTable = static_cast<std::uint32_t>(0x60 + fixture.exportTail.size() + 3) & ~3u;
    fixture.exportTail.resize(fixture.nameTable - 0x60, '\0');
    for (int i = 0; i < 1024 * 1024; ++i) {
        Bytes::putU32(fixture.exportTail, 0x2060);
    }
    for (std::uint32_t count : {0xFFFFFFFFu, 1024u * 1024u}) {
        SCOPED_TRACE(count);
        fixture.exportNameCount = count;
        const std::string image = fixture.build();
        ASSERT_GT(image.size(), 4u * 1024 * 1024);
        EXPECT_THROW(PeImage::exportedNames(image), std::runtime_error);
    }
    fixture.exportNameCount = 1;
    fixture.nameTable = 0x28;
    EXPECT_EQ(PeImage::exportedNames(fixture.build()), std::vector<std::string>{"jvmLauncherGetAPI"});
}

} // namespace
