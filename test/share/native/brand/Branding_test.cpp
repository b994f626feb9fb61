#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "BrandFiles.h"
#include "BrandTool.h"
#include "Branding.h"
#include "ErrorHandling.h"
#include "Manifest.h"
#include "PeFixture.h"
#include "PeImage.h"
#include "ResourceWriter.h"
#include "TempDir.h"

namespace {

std::string launcher() {
    VersionBlock block;
    block.strings = {{L"ProductName", L"Vantorix launcher"}, {L"InternalName", L"VantorixLauncher"}};
    PeFixture fixture;
    fixture.relocationsAfter = true;
    fixture.resources = launcherResources(block.serialize());
    return fixture.build();
}

const Resource* find(const std::vector<Resource>& resources, std::uint16_t type) {
    for (const Resource& resource : resources) {
        if (resource.type.id == type && resource.name.id == 1) {
            return &resource;
        }
    }
    return nullptr;
}

std::string message(const std::function<void()>& action) {
    try {
        action();
    } catch (const VxErrorBase& error) {
        return error.plainMessage();
    }
    return "accepted";
}

std::string readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TEST(BrandingTest, EveryFieldAndTheLevel) {
    std::string bitmap;
    Bytes::putU32(bitmap, 40);
    bitmap.resize(64, 'b');
    std::string ico("\0\0\1\0\1\0\x20\x20\0\0", 10);
    Bytes::putU16(ico, 1);
    Bytes::putU16(ico, 32);
    Bytes::putU32(ico, 64);
    Bytes::putU32(ico, 22);
    ico += bitmap;
    const IconFile icon = IconFile::parse(ico);

    const BrandRequest request = parseBrandArguments(
        {L"Orbit.exe", L"--file-version", L"2.5.1.7", L"--product-version", L"2.5", L"--product-name",
         L"Orbit \u00dcber", L"--company", L"Orbit Works", L"--execution-level", L"requireAdministrator"});
    const std::string image = launcher();
    const std::string branded = brandImage(image, request, &icon);
    EXPECT_EQ(brandImage(image, request, &icon), branded);

    const std::vector<Resource> resources = ResourceTree::read(branded, PeImage::readLayout(branded));
    const VersionBlock version = VersionBlock::parse(find(resources, ResourceTypes::version)->data);
    EXPECT_EQ(version.fileVersion, (VersionNumber{2, 5, 1, 7}));
    EXPECT_EQ(version.productVersion, (VersionNumber{2, 5, 0, 0}));
    EXPECT_EQ(*version.findString(L"ProductName"), L"Orbit \u00dcber");
    EXPECT_EQ(*version.findString(L"CompanyName"), L"Orbit Works");
    EXPECT_EQ(*version.findString(L"FileVersion"), L"2.5.1.7");
    EXPECT_EQ(*version.findString(L"InternalName"), L"VantorixLauncher");
    EXPECT_EQ(find(resources, ResourceTypes::iconGroup)->data, icon.groupDirectory(1));
    EXPECT_EQ(find(resources, ResourceTypes::icon)->data, bitmap);
    EXPECT_NE(find(resources, ResourceTypes::manifest)->data.find("level=\"requireAdministrator\""),
              std::string::npos);
    // What branding does not change stays, named resources included.
    EXPECT_EQ(resources.size(), 5u);
}

TEST(BrandingTest, Refusals) {
    PeFixture notLauncher;
    notLauncher.exportNameCount = 0;
    PeFixture signedLauncher;
    signedLauncher.resources = launcherResources(VersionBlock().serialize());
    signedLauncher.certificate = std::string(32, 'C');
    const BrandRequest request = parseBrandArguments({L"Orbit.exe", L"--company", L"x"});
    EXPECT_EQ(message([&] { brandImage(notLauncher.build(), request, nullptr); }),
              "\"Orbit.exe\" is not a Vantorix launcher (it does not export jvmLauncherGetAPI)");
    EXPECT_EQ(message([&] { brandImage(signedLauncher.build(), request, nullptr); }),
              "\"Orbit.exe\" is signed: brand it first and sign it after, or give --strip-signature to "
              "remove the signature");
    BrandRequest strip = request;
    strip.stripSignature = true;
    EXPECT_FALSE(ResourceWriter::isSigned(brandImage(signedLauncher.build(), strip, nullptr)));
}

// Three runs adding strings of 15,000, 15,000 and 5,000 characters: the
// third would make the string table larger than its 16-bit length can say.
// It is refused before any file is written, and the target stays as it was.
TEST(BrandingTest, VersionResourceThatWouldOverflow) {
    TempDir dir;
    const std::filesystem::path target = dir.path() / "Orbit.exe";
    writeAll(target, launcher());
    const WideString path = target.wstring();
    brand(parseBrandArguments({path, L"--description", WideString(15000, L'd')}));
    brand(parseBrandArguments({path, L"--company", WideString(15000, L'c')}));
    const std::string before = readAll(target);
    EXPECT_EQ(message([&] { brand(parseBrandArguments({path, L"--copyright", WideString(5000, L'r')})); }),
              "The version resource would be too large: \"040904B0\" takes 70278 bytes, more than 65535");
    EXPECT_EQ(readAll(target), before);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
    const std::vector<Resource> resources = ResourceTree::read(before, PeImage::readLayout(before));
    EXPECT_EQ(*VersionBlock::parse(find(resources, ResourceTypes::version)->data).findString(L"CompanyName"),
              WideString(15000, L'c'));
}

// The new file is made only where nothing is: a file or link planted under
// its name is never opened or followed.
TEST(BrandingTest, NewFileIsNeverOneThatExists) {
    TempDir dir;
    const std::filesystem::path planted = dir.path() / "Orbit.exe.branding";
    const std::filesystem::path victim = dir.path() / "victim";
    writeAll(victim, "victim");
#ifdef _WIN32
    writeAll(planted, "planted");
#else
    std::filesystem::create_symlink(victim, planted);
#endif
    EXPECT_FALSE(BrandFiles::writeNewFile(planted.wstring(), "new", victim.wstring()));
    EXPECT_EQ(readAll(victim), "victim");

    // The name that once was fixed holds a planted link: branding neither
    // writes through it nor puts it in the target's place.
    const std::filesystem::path target = dir.path() / "Orbit.exe";
    writeAll(target, launcher());
    brand(parseBrandArguments({target.wstring(), L"--company", L"Orbit Works"}));
    EXPECT_EQ(readAll(victim), "victim");
    EXPECT_FALSE(std::filesystem::is_symlink(target));
    const std::string branded = readAll(target);
    const std::vector<Resource> resources = ResourceTree::read(branded, PeImage::readLayout(branded));
    EXPECT_EQ(*VersionBlock::parse(find(resources, ResourceTypes::version)->data).findString(L"CompanyName"),
              L"Orbit Works");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

TEST(BrandToolTest, Arguments) {
    const BrandRequest request = parseBrandArguments(
        {L"--strip-signature", L"T.exe", L"--execution-level", L"highestAvailable", L"--icon", L"a.ico",
         L"--original-filename", L"Orbit.exe"});
    EXPECT_EQ(request.target, L"T.exe");
    EXPECT_TRUE(request.stripSignature);
    EXPECT_EQ(request.executionLevel, std::optional<std::string>("highestAvailable"));
    EXPECT_EQ(request.iconFile, std::optional<WideString>(L"a.ico"));
    EXPECT_EQ(request.strings, (std::vector<std::pair<WideString, WideString>>{{L"OriginalFilename", L"Orbit.exe"}}));

    const struct {
        WideStringList arguments;
        const char* message;
    } refusals[] = {
        {{L"T.exe", L"--execution-level", L"admin"},
         "Invalid execution level \"admin\": expected asInvoker, highestAvailable or requireAdministrator"},
        {{L"T.exe", L"--execution-level"}, "The option --execution-level needs a value"},
        {{L"--company", L"x"}, "No target executable given"},
        {{L"T.exe", L"U.exe"}, "More than one target: \"T.exe\" and \"U.exe\""},
        {{L"T.exe", L"--sign", L"x"}, "Unknown option --sign"},
    };
    for (const auto& c : refusals) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(message([&] { parseBrandArguments(c.arguments); }), c.message);
    }
}

TEST(ManifestTest, ExecutionLevel) {
    const struct {
        const char* label;
        std::string manifest;
        std::string expected;
    } cases[] = {
        {"double quotes", "<a><requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/></a>",
         "<a><requestedExecutionLevel level=\"X\" uiAccess=\"false\"/></a>"},
        {"single quotes, spaces, attribute order",
         "<requestedExecutionLevel uiAccess='false' level = 'asInvoker'/>",
         "<requestedExecutionLevel uiAccess='false' level = 'X'/>"},
        {"namespace prefix", "<v3:requestedExecutionLevel level=\"asInvoker\"/>",
         "<v3:requestedExecutionLevel level=\"X\"/>"},
        {"no element: one is added",
         "<assembly></assembly>",
         "<assembly><trustInfo xmlns=\"urn:schemas-microsoft-com:asm.v3\"><security><requestedPrivileges>"
         "<requestedExecutionLevel level=\"X\" uiAccess=\"false\"/></requestedPrivileges></security>"
         "</trustInfo>\n</assembly>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(Manifest::withExecutionLevel(c.manifest, "X"), c.expected);
    }
    for (const std::string& bad : {std::string("<requestedExecutionLevel uiAccess=\"false\"/>"),
                                   std::string("<requestedExecutionLevel level=asInvoker/>"),
                                   std::string("no manifest at all")}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(Manifest::withExecutionLevel(bad, "X"), std::runtime_error);
    }
}

} // namespace
