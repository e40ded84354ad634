// Configuration files: the bounded reader (size, depth, declared entities, encodings, files that
// are not well-formed), the structural compare and the line compare.
#include "core/app/i18n.h"
#include "core/config/compare.h"
#include "core/config/configdoc.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <string>
#include <utility>
#include <vector>

namespace {

TConfigDocument Read(const std::string& text) { return ReadConfig(QByteArray::fromStdString(text)); }

std::vector<TConfigDifference> Compare(const std::string& left, const std::string& right)
{
    const TConfigDocument a = Read(left), b = Read(right);
    EXPECT_TRUE(a.Ok) << a.Error;
    EXPECT_TRUE(b.Ok) << b.Error;
    return CompareConfigs(a, b);
}

std::string Nested(int depth)
{
    std::string text;
    for (int i = 0; i < depth; ++i)
        text += "<e>";
    for (int i = 0; i < depth; ++i)
        text += "</e>";
    return text;
}

class ConfigRead : public ::testing::Test {
protected:
    void SetUp() override { UseLanguage("en"); }
};

// ---- Bounds: each refused with its reason, before the reader gets far -------------------------

TEST_F(ConfigRead, SizeBoundAtSixteenMebibytes)
{
    const std::string head = "<setup><pad>", tail = "</pad></setup>";
    const auto sized = [&](qsizetype size) {
        return QByteArray::fromStdString(head) + QByteArray(size - head.size() - tail.size(), 'x') +
               QByteArray::fromStdString(tail);
    };
    const TConfigDocument atBound = ReadConfig(sized(kMostConfigBytes));
    EXPECT_TRUE(atBound.Ok) << atBound.Error;
    const TConfigDocument over = ReadConfig(sized(kMostConfigBytes + 1));
    EXPECT_FALSE(over.Ok);
    EXPECT_EQ("The file is larger than 16 MiB.", over.Error);
    EXPECT_EQ(0, over.Line);
}

TEST_F(ConfigRead, FileLargerThanTheBoundIsRefusedUnread)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("big.xml"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(kMostConfigBytes + 1));  // sparse: nothing to read would parse anyway
    file.close();
    const TConfigDocument big = ReadConfigFile(path.toStdString());
    EXPECT_FALSE(big.Ok);
    EXPECT_EQ("The file is larger than 16 MiB.", big.Error);

    const TConfigDocument missing = ReadConfigFile(dir.filePath(QStringLiteral("none.xml")).toStdString());
    EXPECT_FALSE(missing.Ok);
    EXPECT_NE(std::string::npos, missing.Error.find("Cannot read the file")) << missing.Error;

    QFile small(dir.filePath(QStringLiteral("small.xml")));
    ASSERT_TRUE(small.open(QIODevice::WriteOnly));
    small.write("<setup><name>A</name></setup>");
    small.close();
    const TConfigDocument read = ReadConfigFile(small.fileName().toStdString());
    ASSERT_TRUE(read.Ok) << read.Error;
    EXPECT_EQ("A", read.Root.Children.at(0).Text);
}

TEST_F(ConfigRead, DepthBoundAt256)
{
    const TConfigDocument atBound = Read(Nested(kMostConfigDepth));
    EXPECT_TRUE(atBound.Ok) << atBound.Error;
    const TConfigDocument over = Read(Nested(kMostConfigDepth + 1));
    EXPECT_FALSE(over.Ok);
    EXPECT_EQ("Elements are nested more than 256 levels deep.", over.Error);
    // Far deeper than any stack would take: refused at the 257th, not after reading them all.
    const TConfigDocument deep = Read(Nested(200000));
    EXPECT_EQ("Elements are nested more than 256 levels deep.", deep.Error);
}

TEST_F(ConfigRead, DeclaredEntitiesAreRefusedNamingThem)
{
    struct TCase {
        const char* Why;
        std::string Text;
        const char* Entity;
    };
    // A thousand million "lol"s if it were expanded: refused at its DTD, so the test returns at once.
    std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n";
    for (int i = 1; i <= 9; ++i) {
        const std::string previous = i == 1 ? "lol" : "lol" + std::to_string(i - 1);
        laughs += " <!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j)
            laughs += "&" + previous + ";";
        laughs += "\">\n";
    }
    laughs += "]>\n<lolz>&lol9;</lolz>\n";
    const TCase cases[] = {
        {"billion laughs", laughs, "lol"},
        {"an internal entity, never used", "<!DOCTYPE s [<!ENTITY x \"1\">]><s/>", "x"},
        {"an external entity", "<!DOCTYPE s [<!ENTITY ext SYSTEM \"file:///etc/passwd\">]><s>&ext;</s>", "ext"},
        {"a parameter entity", "<!DOCTYPE s [<!ENTITY % p \"<!ELEMENT s ANY>\">]><s/>", "p"},
    };
    for (const TCase& c : cases) {
        const TConfigDocument doc = Read(c.Text);
        EXPECT_FALSE(doc.Ok) << c.Why;
        EXPECT_EQ(std::string("The file declares the entity \"") + c.Entity +
                      "\"; a configuration that declares entities is not read.",
                  doc.Error)
            << c.Why;
        EXPECT_TRUE(doc.Root.Name.empty()) << c.Why;
    }
    // A DTD without entities is taken; an entity it would have to fetch is refused by name.
    const TConfigDocument plain = Read("<!DOCTYPE s [<!ELEMENT s ANY>]><s>1</s>");
    EXPECT_TRUE(plain.Ok) << plain.Error;
    const TConfigDocument external = Read("<!DOCTYPE s SYSTEM \"s.dtd\">\n<s>&q;</s>");
    EXPECT_FALSE(external.Ok);
    EXPECT_EQ("The file uses the entity \"q\", which it does not declare (line 2, column 6).", external.Error);
}

// ---- Encodings -------------------------------------------------------------------------------------

TEST_F(ConfigRead, CzechEncodingsAreDecoded)
{
    // "Příliš žluťoučký kůň" as each encoding writes it.
    const QByteArray windows1250("P\xF8\xEDli\x9A \x9Elu\x9Dou\xE8k\xFD k\xF9\xF2");
    const QByteArray iso88592("P\xF8\xEDli\xB9 \xBElu\xBBou\xE8k\xFD k\xF9\xF2");
    const std::string expected = "Příliš žluťoučký kůň";
    const struct {
        const char* Name;
        QByteArray Bytes;
    } cases[] = {{"windows-1250", windows1250}, {"ISO-8859-2", iso88592}, {"CP1250", windows1250}, {"latin2", iso88592}};
    for (const auto& c : cases) {
        const QByteArray file = "<?xml version=\"1.0\" encoding=\"" + QByteArray(c.Name) + "\"?>\r\n<setup name=\"" +
                                c.Bytes + "\"><n>" + c.Bytes + "</n></setup>\r\n";
        const TConfigDocument doc = ReadConfig(file);
        ASSERT_TRUE(doc.Ok) << c.Name << ": " << doc.Error;
        EXPECT_EQ(c.Name, doc.Encoding);
        EXPECT_EQ(expected, doc.Root.Attributes.at(0).Value) << c.Name;
        EXPECT_EQ(expected, doc.Root.Children.at(0).Text) << c.Name;
    }
    // A byte windows-1250 leaves undefined.
    const TConfigDocument bad = ReadConfig("<?xml version='1.0' encoding='windows-1250'?><s>\x81</s>");
    EXPECT_FALSE(bad.Ok);
    EXPECT_EQ("The file is not valid windows-1250 text.", bad.Error);
}

TEST_F(ConfigRead, UnicodeAndLatin1Encodings)
{
    const QString text = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-16\"?><s>Žluť</s>");
    QByteArray le("\xFF\xFE", 2), be("\xFE\xFF", 2);
    for (QChar c : text) {
        le.append(static_cast<char>(c.unicode() & 0xFF)).append(static_cast<char>(c.unicode() >> 8));
        be.append(static_cast<char>(c.unicode() >> 8)).append(static_cast<char>(c.unicode() & 0xFF));
    }
    for (const QByteArray& bytes : {le, be, le.mid(2)}) {
        const TConfigDocument doc = ReadConfig(bytes);
        ASSERT_TRUE(doc.Ok) << doc.Error;
        EXPECT_EQ("Žluť", doc.Root.Text);
        EXPECT_EQ("UTF-16", doc.Encoding);
    }
    const TConfigDocument latin1 = ReadConfig("<?xml version='1.0' encoding='ISO-8859-1'?><s>caf\xE9</s>");
    ASSERT_TRUE(latin1.Ok) << latin1.Error;
    EXPECT_EQ("café", latin1.Root.Text);
    const TConfigDocument bom = ReadConfig("\xEF\xBB\xBF<s>\xC5\xBD</s>");
    ASSERT_TRUE(bom.Ok) << bom.Error;
    EXPECT_EQ("Ž", bom.Root.Text);
    EXPECT_EQ("UTF-8", bom.Encoding);
    EXPECT_EQ(QStringLiteral("<s>Ž</s>"), bom.Decoded);
}

TEST_F(ConfigRead, OtherEncodingsAreRefusedNamingThem)
{
    const struct {
        const char* Why;
        QByteArray Bytes;
        const char* Error;
    } cases[] = {
        {"not one taken", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><s/>", "The encoding \"KOI8-R\" is not supported."},
        {"a made-up name", "<?xml version='1.0' encoding='x-pyxet'?><s/>", "The encoding \"x-pyxet\" is not supported."},
        {"UTF-8 bytes not valid", "<s>\xC3\x28</s>", "The file is not valid UTF-8 text."},
        {"a byte order mark against the declaration", "\xEF\xBB\xBF<?xml version='1.0' encoding='ISO-8859-2'?><s/>",
         "The file's bytes do not match the encoding \"ISO-8859-2\" it declares."},
        {"UTF-16 declared, single bytes written", "<?xml version='1.0' encoding='UTF-16'?><s/>",
         "The file's bytes do not match the encoding \"UTF-16\" it declares."},
    };
    for (const auto& c : cases) {
        const TConfigDocument doc = ReadConfig(c.Bytes);
        EXPECT_FALSE(doc.Ok) << c.Why;
        EXPECT_EQ(c.Error, doc.Error) << c.Why;
    }
}

// ---- Not well-formed --------------------------------------------------------------------------------

TEST_F(ConfigRead, NotWellFormedNamesLineAndColumn)
{
    const struct {
        const char* Why;
        const char* Text;
        int Line;
        int Column;
        qsizetype Size = -1;  // the text's length where it holds a NUL
    } cases[] = {
        {"tags crossed", "<setup>\n  <a>1</b>\n</setup>", 2, 10},
        {"Windows line ends count once", "<setup>\r\n<a>\r\n<b x=1/></a></setup>", 3, 6},
        {"cut short", "<setup>\n<a>", 2, 3},
        {"nothing", "", 1, 1},
        {"text after the root", "<s/>\nx", 2, 1},
        // XML has no U+0000; after a ']' the stream reader passes over one unseen.
        {"a NUL in a text", "<s>\r\n<a>x]\0y</a></s>", 2, 6, 20},
        {"a NUL in an attribute", "<s>\r<a v=\"\0\"/></s>", 2, 7, 18},
    };
    for (const auto& c : cases) {
        const TConfigDocument doc = ReadConfig(QByteArray(c.Text, c.Size));
        EXPECT_FALSE(doc.Ok) << c.Why;
        EXPECT_EQ(c.Line, doc.Line) << c.Why << ": " << doc.Error;
        EXPECT_EQ(c.Column, doc.Column) << c.Why << ": " << doc.Error;
        const std::string where = "Not well-formed XML at line " + std::to_string(c.Line) + ", column " +
                                  std::to_string(c.Column) + ": ";
        EXPECT_EQ(0u, doc.Error.rfind(where, 0)) << c.Why << ": " << doc.Error;
    }
}

// ---- The tree and where its values stand ----------------------------------------------------------------

TEST_F(ConfigRead, TreeAndSpans)
{
    const std::string text = "<?xml version=\"1.0\"?>\r\n<!-- made by hand -->\r\n"
                             "<setup xmlns:p=\"urn:pyxet\" version = '2'>\r\n"
                             "  <name>  Sklad &amp; d\xC3\xADlna </name>\r\n"
                             "  <p:ip a=\"&lt;x&gt;\">10.0.0.5</p:ip>\r\n"
                             "  <note><![CDATA[<raw>]]></note>\r\n"
                             "  <empty></empty><closed/>\r\n"
                             "  <mixed>a<b/>c</mixed><?pi x?>\r\n"
                             "  <joined> a <![CDATA[ b ]]>&#32;c\r\n</joined>\r\n"
                             "</setup>\r\n";
    const TConfigDocument doc = Read(text);
    ASSERT_TRUE(doc.Ok) << doc.Error;
    const QString& d = doc.Decoded;
    const auto at = [&](const TConfigSpan& s) { return d.mid(s.Start, s.Length).toStdString(); };
    const TConfigElement& root = doc.Root;
    EXPECT_EQ("setup", root.Name);
    ASSERT_EQ(1u, root.Attributes.size());  // the namespace declaration is no attribute
    EXPECT_EQ("2", root.Attributes[0].Value);
    EXPECT_EQ("2", at(root.Attributes[0].Span));
    ASSERT_EQ(7u, root.Children.size());
    const TConfigElement& name = root.Children[0];
    EXPECT_EQ("Sklad & dílna", name.Text);
    EXPECT_EQ("Sklad &amp; dílna", at(name.TextSpan));
    const TConfigElement& ip = root.Children[1];
    EXPECT_EQ("urn:pyxet", ip.NamespaceURI);
    EXPECT_EQ("ip", ip.Name);
    EXPECT_EQ("10.0.0.5", at(ip.TextSpan));
    EXPECT_EQ("<x>", ip.Attributes.at(0).Value);
    EXPECT_EQ("&lt;x&gt;", at(ip.Attributes.at(0).Span));
    EXPECT_EQ("<raw>", root.Children[2].Text);
    EXPECT_EQ("<![CDATA[<raw>]]>", at(root.Children[2].TextSpan));
    const TConfigElement& empty = root.Children[3];
    EXPECT_EQ("", empty.Text);
    EXPECT_EQ(0, empty.TextSpan.Length);
    EXPECT_EQ(QStringLiteral("</empty>"), d.mid(empty.TextSpan.Start, 8));
    EXPECT_EQ(-1, root.Children[4].TextSpan.Start);  // <closed/>
    EXPECT_EQ("ac", root.Children[5].Text);
    EXPECT_EQ(-1, root.Children[5].TextSpan.Start);  // in two pieces
    EXPECT_EQ("a  b  c", root.Children[6].Text);  // the white space inside is kept
    EXPECT_EQ("a <![CDATA[ b ]]>&#32;c", at(root.Children[6].TextSpan));

    // A second byte order mark stays in the text; the spans still point at the values.
    const TConfigDocument twice = ReadConfig("\xEF\xBB\xBF\xEF\xBB\xBF<s a=\"1\">v</s>");
    ASSERT_TRUE(twice.Ok) << twice.Error;
    EXPECT_EQ(QChar(0xFEFF), twice.Decoded[0]);
    EXPECT_EQ(QStringLiteral("v"), twice.Decoded.mid(twice.Root.TextSpan.Start, twice.Root.TextSpan.Length));
    EXPECT_EQ(QStringLiteral("1"), twice.Decoded.mid(twice.Root.Attributes.at(0).Span.Start, 1));
}

// Two files read at once come out as each read alone, in their order, a failure on either side.
TEST_F(ConfigRead, PairReadAsEachAlone)
{
    const QByteArray good = "<s a=\"1\"><c id=\"2\">x</c><c id=\"1\"/></s>";
    const QByteArray other = "<?xml version='1.0' encoding='ISO-8859-1'?><t>caf\xE9</t>";
    const QByteArray bad = "<s><c></s>";
    const auto same = [](const TConfigDocument& pair, const TConfigDocument& alone) {
        EXPECT_EQ(alone.Ok, pair.Ok);
        EXPECT_EQ(alone.Error, pair.Error);
        EXPECT_EQ(alone.Line, pair.Line);
        EXPECT_EQ(alone.Encoding, pair.Encoding);
        EXPECT_EQ(alone.Decoded, pair.Decoded);
        if (alone.Ok && pair.Ok) {
            EXPECT_TRUE(CompareConfigs(alone, pair).empty());
        }
    };
    for (const auto& [left, right] : {std::pair{good, other}, std::pair{other, good}, std::pair{bad, good},
                                      std::pair{good, bad}}) {
        const auto [a, b] = ReadConfigPair(left, right);
        same(a, ReadConfig(left));
        same(b, ReadConfig(right));
    }
}

// ---- The structural compare ------------------------------------------------------------------------------

class ConfigCompare : public ConfigRead {};

TEST_F(ConfigCompare, EqualWhateverTheWayOfWriting)
{
    const std::string base = "<setup><network dhcp=\"0\" port=\"80\"><ip>10.0.0.5</ip></network>"
                             "<name>Hall</name><note>a &lt; b</note></setup>";
    const struct {
        const char* Why;
        std::string Other;
    } cases[] = {
        {"indentation", "<setup>\n    <network dhcp=\"0\" port=\"80\">\n\t<ip>  10.0.0.5\n</ip>\n  </network>\n"
                        "  <name>Hall</name>\n  <note>a &lt; b</note>\n</setup>\n"},
        {"attribute order and quotes", "<setup><network port='80'  dhcp = \"0\"><ip>10.0.0.5</ip></network>"
                                       "<name>Hall</name><note>a &lt; b</note></setup>"},
        {"comments and processing instructions",
         "<?xml version=\"1.0\"?><!-- top --><setup><!-- n --><network dhcp=\"0\" port=\"80\"><ip>10.0.0.5<!-- x --></ip>"
         "</network><?app hint?><name>Hall</name><note>a &lt; b</note></setup><!-- end -->"},
        {"line ends", "<setup>\r\n<network dhcp=\"0\" port=\"80\">\r\n<ip>10.0.0.5</ip>\r\n</network>\r\n"
                      "<name>Hall</name>\r<note>a &lt; b</note>\r\n</setup>\r\n"},
        {"namespace prefixes (none of them here)", "<setup><network dhcp=\"0\" port=\"80\"><ip>10.0.0.5</ip></network>"
                                                    "<name>Hall</name><note>a &lt; b</note></setup>"},
        {"CDATA", "<setup><network dhcp=\"0\" port=\"80\"><ip><![CDATA[10.0.0.5]]></ip></network>"
                  "<name>Ha<![CDATA[ll]]></name><note><![CDATA[a < b]]></note></setup>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::vector<TConfigDifference>{}, Compare(base, c.Other)) << c.Why;

    // Prefixes differ, namespaces are the same: equal. Same prefix, other namespace: different.
    const std::string a = "<s xmlns=\"urn:a\" xmlns:b=\"urn:b\"><b:x b:k=\"1\">v</b:x></s>";
    EXPECT_TRUE(Compare(a, "<q:s xmlns:q=\"urn:a\"><z:x xmlns:z=\"urn:b\" z:k=\"1\">v</z:x></q:s>").empty());
    const auto other = Compare(a, "<s xmlns=\"urn:a\" xmlns:b=\"urn:c\"><b:x b:k=\"1\">v</b:x></s>");
    const std::vector<TConfigDifference> expected = {{"/s/x", TDifferenceKind::OnlyLeft, "<x k=\"1\">v</x>", ""},
                                                     {"/s/x", TDifferenceKind::OnlyRight, "", "<x k=\"1\">v</x>"}};
    EXPECT_EQ(expected, other);
}

TEST_F(ConfigCompare, EachKindOfDifference)
{
    const std::string left = "<setup a=\"1\" b=\"2\"><name>Hall</name><snmp><community>public</community></snmp>"
                             "<old>x</old></setup>";
    const std::string right = "<setup b=\"3\" c=\"4\"><name>Hall 2</name><snmp/><new k=\"1\"><v>2</v></new></setup>";
    const std::vector<TConfigDifference> expected = {
        {"/setup/@a", TDifferenceKind::OnlyLeft, "1", ""},
        {"/setup/@b", TDifferenceKind::Changed, "2", "3"},
        {"/setup/@c", TDifferenceKind::OnlyRight, "", "4"},
        {"/setup/name", TDifferenceKind::Changed, "Hall", "Hall 2"},
        {"/setup/snmp/community", TDifferenceKind::OnlyLeft, "public", ""},
        {"/setup/old", TDifferenceKind::OnlyLeft, "x", ""},
        {"/setup/new", TDifferenceKind::OnlyRight, "", "<new k=\"1\"><v>2</v></new>"},
    };
    EXPECT_EQ(expected, Compare(left, right));
    // Other roots: each side one difference.
    const std::vector<TConfigDifference> roots = {{"/a", TDifferenceKind::OnlyLeft, "1", ""},
                                                  {"/b", TDifferenceKind::OnlyRight, "", "2"}};
    EXPECT_EQ(roots, Compare("<a>1</a>", "<b>2</b>"));
    // A long element on one side is cut short.
    std::string many = "<s><big>";
    for (int i = 0; i < 50; ++i)
        many += "<i>" + std::to_string(i) + "</i>";
    many += "</big></s>";
    const auto cut = Compare(many, "<s/>");
    ASSERT_EQ(1u, cut.size());
    EXPECT_EQ("/s/big", cut[0].Path);
    EXPECT_EQ(0u, cut[0].Left.rfind("<big><i>0</i><i>1</i>", 0));
    EXPECT_LT(cut[0].Left.size(), 130u);
    EXPECT_EQ("…", cut[0].Left.substr(cut[0].Left.size() - 3));
}

TEST_F(ConfigCompare, RepeatedSiblingsMatchedByKeyElseByPosition)
{
    const std::string left = "<setup><sensors>"
                             "<sensor id=\"1\" high=\"30\"/><sensor id=\"2\" high=\"40\"/><sensor id=\"3\" high=\"50\"/>"
                             "</sensors><users><user name=\"admin\" level=\"9\"/><user name=\"guest\" level=\"1\"/></users>"
                             "<list><item>a</item><item>b</item></list>"
                             "<ports><port no=\"1\" key=\"k\" index=\"7\">on</port><port no=\"2\">off</port></ports></setup>";
    const std::string reordered = "<setup><users><user level=\"1\" name=\"guest\"/><user name=\"admin\" level=\"9\"/></users>"
                                  "<sensors><sensor id=\"3\" high=\"50\"/><sensor high=\"30\" id=\"1\"/>"
                                  "<sensor id=\"2\" high=\"40\"/></sensors>"
                                  "<list><item>a</item><item>b</item></list>"
                                  "<ports><port no=\"2\">off</port><port index=\"7\" key=\"k\" no=\"1\">on</port></ports>"
                                  "</setup>";
    EXPECT_TRUE(Compare(left, reordered).empty());

    const std::string right = "<setup><sensors><sensor id=\"3\" high=\"55\"/><sensor id=\"1\" high=\"30\"/>"
                              "<sensor id=\"4\" high=\"60\"/></sensors>"
                              "<users><user name=\"admin\" level=\"9\"/></users>"
                              "<list><item>b</item><item>a</item><item>c</item></list>"
                              "<ports><port index=\"7\" key=\"k\">on</port><port no=\"2\">off</port></ports></setup>";
    const std::vector<TConfigDifference> expected = {
        {"/setup/sensors/sensor[id=2]", TDifferenceKind::OnlyLeft, "<sensor id=\"2\" high=\"40\"/>", ""},
        {"/setup/sensors/sensor[id=3]/@high", TDifferenceKind::Changed, "50", "55"},
        {"/setup/sensors/sensor[id=4]", TDifferenceKind::OnlyRight, "", "<sensor id=\"4\" high=\"60\"/>"},
        {"/setup/users/user[name=guest]", TDifferenceKind::OnlyLeft, "<user name=\"guest\" level=\"1\"/>", ""},
        {"/setup/list/item[1]", TDifferenceKind::Changed, "a", "b"},
        {"/setup/list/item[2]", TDifferenceKind::Changed, "b", "a"},
        {"/setup/list/item[3]", TDifferenceKind::OnlyRight, "", "c"},
        // Keyed by the first of id, name, index, key, no that it carries: index on both sides.
        {"/setup/ports/port[index=7]/@no", TDifferenceKind::OnlyLeft, "1", ""},
    };
    EXPECT_EQ(expected, Compare(left, right));

    // Two of one key keep their order among themselves.
    const auto twice = Compare("<s><v id=\"1\">a</v><v id=\"1\">b</v></s>", "<s><v id=\"1\">a</v><v id=\"1\">c</v></s>");
    const std::vector<TConfigDifference> second = {{"/s/v[id=1][2]", TDifferenceKind::Changed, "b", "c"}};
    EXPECT_EQ(second, twice);
}

TEST_F(ConfigCompare, KindTextsAndKeys)
{
    EXPECT_STREQ("changed", DifferenceKindKey(TDifferenceKind::Changed));
    EXPECT_STREQ("only left", DifferenceKindKey(TDifferenceKind::OnlyLeft));
    EXPECT_STREQ("only right", DifferenceKindKey(TDifferenceKind::OnlyRight));
    InitTranslation(PYXET_BIN_DIR "/");
    UseLanguage("cs");
    const std::string deep = Read(Nested(kMostConfigDepth + 1)).Error;
    EXPECT_EQ("Prvky jsou vnořeny do více než 256 úrovní.", deep);
    EXPECT_EQ("změněno", DifferenceKindText(TDifferenceKind::Changed));
    EXPECT_EQ("jen vlevo", DifferenceKindText(TDifferenceKind::OnlyLeft));
    EXPECT_EQ("jen vpravo", DifferenceKindText(TDifferenceKind::OnlyRight));
    EXPECT_STREQ("only left", DifferenceKindKey(TDifferenceKind::OnlyLeft));  // the key stays
    UseLanguage("en");
}

// ---- Line compare and "same configuration" -------------------------------------------------------------------

TEST_F(ConfigCompare, LineCompare)
{
    const QByteArray left = "<setup>\n<a>1</a>\n<b>2</b>\n<c>3</c>\n<d>4\n</setup>\n";
    const QByteArray right = "<setup>\r\n<a>1</a>\r\n<c>3</c>\r\n<c2>x</c2>\r\n<d>5\r\n</setup>\r\n<!-- end -->\r\n";
    const std::vector<TConfigDifference> expected = {
        {"line 3", TDifferenceKind::OnlyLeft, "<b>2</b>", ""},
        {"line 5", TDifferenceKind::Changed, "<d>4", "<c2>x</c2>"},
        {"line 5", TDifferenceKind::OnlyRight, "", "<d>5"},
        {"line 7", TDifferenceKind::OnlyRight, "", "<!-- end -->"},
    };
    EXPECT_EQ(expected, CompareLines(left, right));
    EXPECT_TRUE(CompareLines(left, left).empty());
    // Unicode text in a Czech encoding is shown as text.
    const auto czech = CompareLines("<?xml version='1.0' encoding='windows-1250'?>\n<n>\x9A</n>\n",
                                    "<?xml version='1.0' encoding='windows-1250'?>\n<n>\x9E</n>\n");
    const std::vector<TConfigDifference> czechExpected = {{"line 2", TDifferenceKind::Changed, "<n>š</n>", "<n>ž</n>"}};
    EXPECT_EQ(czechExpected, czech);
}

TEST_F(ConfigCompare, SameConfig)
{
    EXPECT_TRUE(SameConfig("<s>\n  <a x='1' y='2'>v</a>\n</s>", "<s><!-- c --><a y=\"2\" x=\"1\">v</a></s>\r\n"));
    EXPECT_FALSE(SameConfig("<s><a>v</a></s>", "<s><a>w</a></s>"));
    EXPECT_TRUE(SameConfig("<s><a>", "<s><a>"));    // not well-formed: the same bytes
    EXPECT_FALSE(SameConfig("<s><a>", "<s> <a>"));  // not well-formed: other bytes
    EXPECT_FALSE(SameConfig("<s/>", "<s>"));
}

}  // namespace
