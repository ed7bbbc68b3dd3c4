// Template packages dropped beside the library, imported when a host creates an
// instance through the exports.

#include "ArdentisHost.h"

#include "ZipArchiveBuilder.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using ziptest::Entry;
using ziptest::MakeEntry;

ArdentisHost& g_host = ArdentisHost::Instance();

constexpr char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"windows-1251\" ?>";
constexpr uint32_t kFolderAttribute = 0x10;

class TemplatePackagesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(g_host.Loaded());
        ASSERT_EQ(msc.Initialize(nullptr), MSC_OK);
        Clean();
    }

    void TearDown() override
    {
        EXPECT_EQ(msc.Finalize(), MSC_OK);
        EXPECT_EQ(msc.Initialize(nullptr), MSC_OK);
        Clean();
    }

    std::string Lib(const std::string& name = "") const { return g_host.Folder().Path("lib/" + name); }
    std::string Templates(const std::string& name) const { return Lib("Xml/Templates/" + name); }

    // Everything but the settings the library keeps in its folder.
    void Clean() const
    {
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(Lib(), ignored))
            if (entry.path().filename() != "ardentis.ini")
                fs::remove_all(entry.path(), ignored);
    }

    void Package(const std::string& name, std::vector<Entry> entries) const
    {
        ziptest::Archive archive;
        archive.entries = std::move(entries);
        ziptest::WriteFile(Lib(name), ziptest::Build(archive).bytes);
    }

    void CreateInstance() const
    {
        int32_t handle = -1;
        ASSERT_EQ(msc.Create(0, &handle), MSC_OK);
        EXPECT_GE(handle, 0);
    }

    // The saved template's Root.General.Typ and Name, and the Template element's
    // content as written.
    struct Saved
    {
        std::string typ, name, content;
    };
    static Saved Read(const std::string& path)
    {
        TiXmlDocument document;
        if (!document.LoadFile(path))
            return {};
        TiXmlHandle root = TiXmlHandle(&document).FirstChildElement("Root");
        Saved saved;
        if (const TiXmlElement* typ = root.FirstChildElement("General").FirstChildElement("Typ").ToElement())
            saved.typ = typ->GetText() ? typ->GetText() : "";
        if (const TiXmlElement* name = root.FirstChildElement("General").FirstChildElement("Name").ToElement())
            saved.name = name->GetText() ? name->GetText() : "";
        if (const TiXmlElement* templ = root.FirstChildElement("Template").ToElement())
            for (const TiXmlNode* child = templ->FirstChild(); child != nullptr; child = child->NextSibling()) {
                TiXmlPrinter printer;
                printer.SetStreamPrinting();
                child->Accept(&printer);
                saved.content += printer.Str();
            }
        return saved;
    }

    const ArdentisExports& msc = g_host.Exports();
};

TEST_F(TemplatePackagesTest, PackagesBecomeTemplatesOfTheirKindAndAreDeleted)
{
    const std::string gate = std::string(kDeclaration) + "\r\n<Object id=\"7\"/>\r\n";
    Package("Gate.ot", {MakeEntry("main.xml", gate)});
    Package("Week.night.ST", {MakeEntry("readme.txt", "x", 0), MakeEntry("main.xml", "<Plan/>\r\n", 0)});
    CreateInstance();

    const Saved object = Read(Templates("Objects/Gate.xml"));
    EXPECT_EQ(object.typ, "1");
    EXPECT_EQ(object.name, "Gate");
    EXPECT_EQ(object.content, "<Object id=\"7\" />");
    const Saved schedule = Read(Templates("Schedules/Week.night.xml"));
    EXPECT_EQ(schedule.typ, "2");
    EXPECT_EQ(schedule.name, "Week.night");
    EXPECT_EQ(schedule.content, "<Plan />");

    EXPECT_FALSE(fs::exists(Lib("Gate.ot")));
    EXPECT_FALSE(fs::exists(Lib("Week.night.ST")));
    // The last extraction stays beside the library.
    EXPECT_TRUE(fs::is_regular_file(Lib("main.xml")));
}

TEST_F(TemplatePackagesTest, BodyKeepsEverythingButAClosingLineEndAndBlankTail)
{
    const struct
    {
        const char* title;
        std::string body;
        std::string content;
    } cases[] = {
        {"LastLineOpen", "<A/>\r\n<B/>", "<A /><B />"},
        {"BlankTail", "<A/>\r\n \t\r\n", "<A />"},
        {"TwoLineEndsFirst", std::string(kDeclaration) + "\r\n\r\n<A/>", "<A />"},
    };
    for (const auto& c : cases)
        Package(std::string(c.title) + ".ot", {MakeEntry("main.xml", c.body)});
    CreateInstance();
    for (const auto& c : cases)
        EXPECT_EQ(Read(Templates(std::string("Objects/") + c.title + ".xml")).content, c.content) << c.title;
}

TEST_F(TemplatePackagesTest, PackagesWithoutAReadableBodyStayUntouched)
{
    Entry damaged = MakeEntry("main.xml", "<Object/>\r\n");
    damaged.crc = 0x12345678;
    Entry folder = MakeEntry("main.xml", "", 0);
    folder.externalAttributes = kFolderAttribute;
    // A sound template as declared, with 200 KB more in its stream.
    Entry overlong = MakeEntry("main.xml", "<Object/>\r\n" + std::string(200000, 'x'));
    overlong.uncompressedSize = 11;
    overlong.crc = ziptest::Crc32("<Object/>\r\n");
    ziptest::WriteFile(Lib("NotZip.ot"), "main.xml, but no archive");
    Package("NoBody.ot", {MakeEntry("other.xml", "<Object/>")});
    Package("Capital.ot", {MakeEntry("Main.xml", "<Object/>")});
    Package("Nested.ot", {MakeEntry("sub/main.xml", "<Object/>")});
    Package("Damaged.ot", {damaged});
    Package("FolderOnly.ot", {folder});
    Package("Overlong.ot", {overlong});
    fs::create_directory(Lib("Folder.ot"));
    CreateInstance();

    for (const char* name : {"NotZip", "NoBody", "Capital", "Nested", "Damaged", "FolderOnly", "Overlong"}) {
        EXPECT_TRUE(fs::exists(Lib(std::string(name) + ".ot"))) << name;
        EXPECT_FALSE(fs::exists(Templates(std::string("Objects/") + name + ".xml"))) << name;
    }
    // A folder entry never became a folder that would block later extractions.
    EXPECT_FALSE(fs::is_directory(Lib("main.xml")));
    EXPECT_TRUE(fs::is_directory(Lib("Folder.ot")));
}

TEST_F(TemplatePackagesTest, HostileBodiesLeaveTheirPackagesAndWriteNothingLarge)
{
    std::string deep;
    for (int level = 0; level < 200000; ++level)
        deep += "<a>";
    Package("Deep.ot", {MakeEntry("main.xml", deep)});
    // One element whose attributes would take the parser minutes.
    std::string wide = "<Object";
    for (int i = 0; i < 80000; ++i)
        wide += " a" + std::to_string(i) + "=\"\"";
    wide += "/>\r\n";
    Package("Wide.ot", {MakeEntry("main.xml", wide)});
    // Blanks deflate to almost nothing; their declared size is what counts.
    Package("Huge.ot", {MakeEntry("main.xml", std::string((16u << 20) + 1, ' '))});
    CreateInstance();

    for (const char* name : {"Deep", "Wide", "Huge"}) {
        EXPECT_TRUE(fs::exists(Lib(std::string(name) + ".ot"))) << name;
        EXPECT_FALSE(fs::exists(Templates(std::string("Objects/") + name + ".xml"))) << name;
    }
    // The huge body never reached the disk; the last other one stays extracted.
    const auto extracted = fs::file_size(Lib("main.xml"));
    EXPECT_TRUE(extracted == deep.size() || extracted == wide.size()) << extracted;
}

TEST_F(TemplatePackagesTest, AFifoAmongTheTemplatesIsPassedOver)
{
    fs::create_directories(Templates(""));
    // Opened for reading as a file, it would wait for a writer for ever.
    ASSERT_EQ(::mkfifo(Templates("x.xml").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(Lib("Pipe.ot").c_str(), 0600), 0);
    Package("Gate.ot", {MakeEntry("main.xml", "<Object/>\r\n")});
    CreateInstance();
    EXPECT_EQ(Read(Templates("Objects/Gate.xml")).content, "<Object />");
    EXPECT_TRUE(fs::is_fifo(Lib("Pipe.ot")));
}

TEST_F(TemplatePackagesTest, FolderEntryOfThatNameIsPassedForTheFileAfterIt)
{
    Entry folder = MakeEntry("main.xml", "", 0);
    folder.externalAttributes = kFolderAttribute;
    Package("Gate.ot", {folder, MakeEntry("main.xml", "<Object/>\r\n")});
    CreateInstance();
    EXPECT_EQ(Read(Templates("Objects/Gate.xml")).content, "<Object />");
    EXPECT_FALSE(fs::exists(Lib("Gate.ot")));
}

TEST_F(TemplatePackagesTest, EarlierExtractionNeverBlocksNorIsWrittenThrough)
{
    ziptest::WriteFile(Lib("victim.txt"), "keep");
    fs::create_symlink(Lib("victim.txt"), Lib("main.xml"));
    Package("First.ot", {MakeEntry("main.xml", "<First/>\r\n")});
    CreateInstance();
    EXPECT_EQ(Read(Templates("Objects/First.xml")).content, "<First />");
    std::ifstream victim(Lib("victim.txt"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "keep");

    // A copy left read-only by its entry's attributes.
    ASSERT_EQ(::chmod(Lib("main.xml").c_str(), 0444), 0);
    Package("Second.ot", {MakeEntry("main.xml", "<Second/>\r\n")});
    CreateInstance();
    EXPECT_EQ(Read(Templates("Objects/Second.xml")).content, "<Second />");
    EXPECT_FALSE(fs::exists(Lib("Second.ot")));
}

TEST_F(TemplatePackagesTest, UnsavableTemplateKeepsItsPackageUntilTheFolderCanBeMade)
{
    ziptest::WriteFile(Lib("Xml"), "in the way");
    Package("Gate.ot", {MakeEntry("main.xml", "<Object/>\r\n")});
    CreateInstance();
    EXPECT_TRUE(fs::exists(Lib("Gate.ot")));
    EXPECT_TRUE(fs::is_regular_file(Lib("Xml")));

    fs::remove(Lib("Xml"));
    CreateInstance();
    EXPECT_EQ(Read(Templates("Objects/Gate.xml")).content, "<Object />");
    EXPECT_FALSE(fs::exists(Lib("Gate.ot")));
}

TEST_F(TemplatePackagesTest, InstancesCreatedAtOnceImportEachPackageOnceAndWhole)
{
    constexpr int kPackages = 12;
    constexpr int kThreads = 4;
    // Bodies far larger than one extraction buffer, each recognisable by its own
    // rows; `saved` is the form the template is written in.
    auto body = [](int n, bool saved) {
        std::string rows;
        for (int row = 0; row < 4000; ++row)
            rows += "<Row n=\"" + std::to_string(n) + "\" i=\"" + std::to_string(row) + (saved ? "\" />" : "\"/>\r\n");
        return rows + (saved ? "<End />" : "<End/>\r\n");
    };
    for (int n = 0; n < kPackages; ++n)
        Package("P" + std::to_string(n) + ".ot", {MakeEntry("main.xml", body(n, false))});

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([this] { CreateInstance(); });
    for (std::thread& thread : threads)
        thread.join();

    for (int n = 0; n < kPackages; ++n) {
        const std::string name = "P" + std::to_string(n);
        EXPECT_FALSE(fs::exists(Lib(name + ".ot"))) << name;
        EXPECT_TRUE(Read(Templates("Objects/" + name + ".xml")).content == body(n, true)) << name;
    }
}

} // namespace
