/* The resources of tarrowick.exe, read from the file itself: the dialog
   template byte for byte, the icon, the manifest, and nothing else. */
#include "../resources/resource.h"
#include "version.h"
#include "support.h"

#include <gtest/gtest.h>
#include <set>
#include <string.h>

static HMODULE Program(void)
{
    static HMODULE program = LoadLibraryExA((TestFolder() + "..\\tarrowick.exe").c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
    return program;
}

static const BYTE *Resource(LPCSTR Type, LPCSTR Name, DWORD *Size)
{
    HRSRC found = FindResourceExA(Program(), Type, Name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));

    if (!found)
        return NULL;
    *Size = SizeofResource(Program(), found);
    return (const BYTE *)LockResource(LoadResource(Program(), found));
}

/* Reads the fields of an extended dialog template in order. */
struct TemplateReader {
    const BYTE *At;

    WORD Word() { WORD v; memcpy(&v, At, 2); At += 2; return v; }
    DWORD Dword() { DWORD v; memcpy(&v, At, 4); At += 4; return v; }
    short Short() { return (short)Word(); }
    void Align() { while ((ULONG_PTR)At % 4) At++; }
    std::string Text()
    {
        std::string text;
        for (WORD c = Word(); c; c = Word())
            text += (char)c;
        return text;
    }
    /* A string, or an ordinal (0xFFFF then a number) shown as "#number". */
    std::string TextOrOrdinal()
    {
        WORD first;
        memcpy(&first, At, 2);
        if (first != 0xFFFF)
            return Text();
        Word();
        return "#" + std::to_string(Word());
    }
};

struct Item {
    DWORD Style;
    short X, Y, Cx, Cy;
    DWORD Id;
    const char *Class;  /* an ordinal of a standard class, or a class name */
    const char *Title;  /* NULL: any */
};

static const Item Items[] = {
    { 0x50010029, 6, 17, 64, 10, IDC_TIME, "SysDateTimePick32", "" },
    { 0x50810080, 6, 43, 132, 12, IDC_TARGET, "#129", "" },
    { 0x50010000, 141, 43, 39, 14, IDC_BROWSE, "#128", "Browse..." },
    { 0x50010000, 15, 57, 59, 14, IDC_TOGGLE, "#128", "Activate Alarm" },
    { 0x50020000, 6, 6, 60, 11, IDC_TIME_LABEL, "#130", "Alarm time:" },
    { 0x50020000, 6, 31, 199, 10, 0xFFFFFFFF, "#130", NULL },
    { 0x50010000, 76, 57, 59, 14, IDC_TEST, "#128", "Test Alarm" },
    { 0x50020000, 74, 17, 125, 11, IDC_STATUS, "#130", "" },
    { 0x50020000, 2, 74, 214, 11, 0xFFFFFFFF, "#130", NULL },
};

TEST(Resources, DialogTemplateAsDesigned)
{
    DWORD size = 0;
    TemplateReader read = { Resource(RT_DIALOG, MAKEINTRESOURCEA(IDD_MAIN), &size) };

    ASSERT_TRUE(read.At != NULL) << "no English (United States) dialog " << IDD_MAIN;
    EXPECT_EQ(1, read.Word());           /* extended template, version 1 */
    EXPECT_EQ(0xFFFF, read.Word());
    EXPECT_EQ(0u, read.Dword());         /* help id */
    EXPECT_EQ(0x00040000u, read.Dword());
    EXPECT_EQ(0x00CE0050u, read.Dword());
    EXPECT_EQ(9, read.Word());
    EXPECT_EQ(22, read.Short());
    EXPECT_EQ(17, read.Short());
    EXPECT_EQ(216, read.Short());
    EXPECT_EQ(85, read.Short());
    EXPECT_EQ("", read.TextOrOrdinal()); /* no menu */
    EXPECT_EQ("", read.TextOrOrdinal()); /* the standard dialog class */
    EXPECT_EQ("Tarrowick", read.Text());
    EXPECT_EQ(10, read.Word());
    EXPECT_EQ(400, read.Word());
    EXPECT_EQ(0, *read.At++);            /* not italic */
    EXPECT_EQ(0, *read.At++);            /* character set */
    EXPECT_EQ("Microsoft Sans Serif", read.Text());

    for (const Item &item : Items) {
        read.Align();
        EXPECT_EQ(0u, read.Dword());     /* help id */
        EXPECT_EQ(0u, read.Dword());     /* extended style */
        EXPECT_EQ(item.Style, read.Dword()) << item.Id;
        EXPECT_EQ(item.X, read.Short());
        EXPECT_EQ(item.Y, read.Short());
        EXPECT_EQ(item.Cx, read.Short());
        EXPECT_EQ(item.Cy, read.Short());
        EXPECT_EQ(item.Id, read.Dword());
        EXPECT_STRCASEEQ(item.Class, read.TextOrOrdinal().c_str()); /* class names ignore case */
        std::string title = read.TextOrOrdinal();
        if (item.Title) {
            EXPECT_EQ(item.Title, title);
        } else if (item.Y == 31) {
            EXPECT_EQ(0u, title.find("File / URL (Such as C:\\song.mp3 or ")) << title;
            EXPECT_EQ(')', title.back());
        } else {
            /* The about line names the version, as a release's file name does. */
            EXPECT_EQ(0u, title.find("Tarrowick " TARROWICK_VERSION ",")) << title;
        }
        EXPECT_EQ(0, read.Word()) << "creation data on " << item.Id;
    }
}

static BOOL CALLBACK AddType(HMODULE, LPSTR Type, LONG_PTR Types)
{
    ((std::set<ULONG_PTR> *)Types)->insert((ULONG_PTR)Type);
    return TRUE;
}

TEST(Resources, OnlyIconDialogAndManifestAllInAmericanEnglish)
{
    std::set<ULONG_PTR> types;
    DWORD size = 0;

    ASSERT_TRUE(Program() != NULL);
    EnumResourceTypesA(Program(), AddType, (LONG_PTR)&types);
    EXPECT_EQ((std::set<ULONG_PTR>{ (ULONG_PTR)RT_ICON, (ULONG_PTR)RT_DIALOG, (ULONG_PTR)RT_GROUP_ICON,
                                    (ULONG_PTR)RT_MANIFEST }), types);

    const BYTE *group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(IDI_MAIN), &size);
    ASSERT_TRUE(group != NULL);
    ASSERT_EQ(6u + 14u, size) << "one icon in the group";
    EXPECT_EQ(32, group[6]);
    EXPECT_EQ(32, group[7]);
    EXPECT_EQ(16, group[8]);             /* colours */
    EXPECT_TRUE(Resource(RT_ICON, MAKEINTRESOURCEA(group[6 + 12] | group[6 + 13] << 8), &size) != NULL);

    const char *manifest = (const char *)Resource(RT_MANIFEST, MAKEINTRESOURCEA(1), &size);
    ASSERT_TRUE(manifest != NULL);
    std::string text(manifest, size);
    EXPECT_NE(std::string::npos, text.find("<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\">"));
    EXPECT_EQ(std::string::npos, text.find("dependency"));
    EXPECT_EQ(std::string::npos, text.find("trustInfo"));
}
