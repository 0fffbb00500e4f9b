// mimlet-face info, run as a user runs it: the built binary on files in a private folder.

#include "FaceBytes.h"
#include "TempDir.h"
#include "ToolRun.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

std::vector<uint8_t> smallFace() {
    return MakeFaceBytes(SmallFaceSpec());
}

TEST(InfoCommand, DescribesAnAcceptedFace) {
    TempDir dir;
    const std::string path = dir.writeFile("small.mf", smallFace());
    const ToolRun run = RunMimletFace({"info", path});
    EXPECT_EQ(run.nStatus, 0) << run.strErr;
    EXPECT_EQ(run.strErr, "");
    EXPECT_EQ(run.strOut, "location: " + path +
                              "\n"
                              "bytes read: 66364\n"
                              "magic: \"MF\"\n"
                              "version: 1\n"
                              "shapes: 4\n"
                              "vertices: 4\n"
                              "faces: 2\n"
                              "morph target entries: 1:1 2:1 3:1\n"
                              "accepted: yes\n");
}

TEST(InfoCommand, SaysWhyAFaceIsRefused) {
    TempDir dir;
    std::vector<uint8_t> bytes = smallFace();
    bytes.pop_back();
    const ToolRun run = RunMimletFace({"info", dir.writeFile("cut.mf", bytes)});
    EXPECT_EQ(run.nStatus, 1);
    EXPECT_NE(run.strOut.find("faces: 2\n"), std::string::npos) << run.strOut;
    EXPECT_NE(run.strOut.find("accepted: no (truncated: 66363 of 66364 bytes)\n"),
              std::string::npos)
        << run.strOut;
    EXPECT_EQ(run.strOut.find("morph target"), std::string::npos) << run.strOut;
}

struct JsonCase {
    const char* name;
    std::string fileName;
    std::function<std::vector<uint8_t>()> bytes;
    int nStatus;
    // The whole object apart from "location", which must name the file as given.
    const char* expected;
};

void PrintTo(const JsonCase& c, std::ostream* os) {
    *os << c.name;
}

class InfoCommandJson : public testing::TestWithParam<JsonCase> {};

TEST_P(InfoCommandJson, PrintsExactlyOneObject) {
    const JsonCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.writeFile(c.fileName, c.bytes());
    const ToolRun run = RunMimletFace({"info", "--json", path});
    EXPECT_EQ(run.nStatus, c.nStatus) << run.strErr;

    QJsonParseError error;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(run.strOut), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError)
        << error.errorString().toStdString() << " in " << run.strOut;
    ASSERT_TRUE(doc.isObject()) << run.strOut;
    QJsonObject actual = doc.object();
    EXPECT_EQ(actual.take("location").toString().toStdString(), path);
    const QJsonObject expected = QJsonDocument::fromJson(c.expected).object();
    EXPECT_EQ(QJsonDocument(actual).toJson(QJsonDocument::Compact).toStdString(),
              QJsonDocument(expected).toJson(QJsonDocument::Compact).toStdString());
}

std::vector<uint8_t> withBytes(std::vector<uint8_t> bytes,
                               const std::function<void(std::vector<uint8_t>&)>& change) {
    change(bytes);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Files, InfoCommandJson,
    testing::Values(
        JsonCase{"Accepted", "small.mf", smallFace, 0,
                 R"json({"bytes": 66364, "accepted": true, "magic": "MF", "version": 1,
                     "shapes": 4, "vertices": 4, "faces": 2, "targets": [1, 1, 1]})json"},
        JsonCase{"ShapeCountZero", "zero.mf",
                 [] {
                     FaceBytesSpec spec = SmallFaceSpec();
                     spec.shapes.resize(1);
                     spec.shapeCount = 0;
                     return MakeFaceBytes(spec);
                 },
                 0,
                 R"json({"bytes": 66328, "accepted": true, "magic": "MF", "version": 1,
                     "shapes": 0, "vertices": 4, "faces": 2, "targets": []})json"},
        // The player reads 79,999 bytes at most; what follows the texture is ignored.
        JsonCase{"LongerThanARead", "long.mf",
                 [] {
                     return withBytes(smallFace(),
                                      [](std::vector<uint8_t>& b) { b.resize(90000, 7); });
                 },
                 0,
                 R"json({"bytes": 79999, "accepted": true, "magic": "MF", "version": 1,
                     "shapes": 4, "vertices": 4, "faces": 2, "targets": [1, 1, 1]})json"},
        JsonCase{
            "Truncated", "cut.mf",
            [] { return withBytes(smallFace(), [](std::vector<uint8_t>& b) { b.pop_back(); }); }, 1,
            R"json({"bytes": 66363, "accepted": false,
                     "reason": "truncated: 66363 of 66364 bytes", "magic": "MF",
                     "version": 1, "shapes": 4, "vertices": 4, "faces": 2})json"},
        // Ends inside the shapes: no face count to show.
        JsonCase{
            "EndsInsideTheShapes", "short.mf",
            [] { return withBytes(smallFace(), [](std::vector<uint8_t>& b) { b.resize(20); }); }, 1,
            R"json({"bytes": 20, "accepted": false,
                     "reason": "truncated: ends inside the shapes", "magic": "MF",
                     "version": 1, "shapes": 4, "vertices": 4})json"},
        JsonCase{"NoHeader", "three.mf",
                 [] {
                     return std::vector<uint8_t>{'M', 'F', 1};
                 },
                 1, R"json({"bytes": 3, "accepted": false, "reason": "truncated header"})json"},
        // Control and non-ASCII bytes in the magic: still valid JSON.
        JsonCase{"StrangeMagic", "strange.mf",
                 [] {
                     return withBytes(smallFace(), [](std::vector<uint8_t>& b) {
                         b[0] = 0xFF;
                         b[1] = 0x01;
                     });
                 },
                 1,
                 R"json({"bytes": 66364, "accepted": false,
                     "reason": "not a face file (no \"MF\" magic)", "magic": "\u00ff\u0001",
                     "version": 1, "shapes": 4, "vertices": 4, "faces": 2})json"}),
    [](const testing::TestParamInfo<JsonCase>& info) { return info.param.name; });

TEST(InfoCommand, EscapesTheLocationAsJson) {
    TempDir dir;
    const std::string name = "q\"b\\n\nc\x01 caf\xc3\xa9 \xe9.mf"; // é as UTF-8, then a lone byte
    const std::string path = dir.writeFile(name, smallFace());
    const ToolRun run = RunMimletFace({"info", path, "--json"});
    ASSERT_EQ(run.nStatus, 0) << run.strErr;
    QJsonParseError error;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray::fromStdString(run.strOut), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.strOut;
    EXPECT_EQ(doc.object().value("location").toString(),
              QString::fromStdString(dir.path()) +
                  QString::fromUtf8("/q\"b\\n\nc\x01 caf\xc3\xa9 \xc3\xa9.mf"));
}

struct UsageCase {
    const char* name;
    std::vector<std::string> args; // after "info"; "DIR" stands for the private folder
};

void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

class InfoCommandUsage : public testing::TestWithParam<UsageCase> {};

TEST_P(InfoCommandUsage, ExitsWithStatus2AndAMessage) {
    TempDir dir;
    const std::string face = dir.writeFile("small.mf", smallFace());
    std::vector<std::string> args = {"info"};
    for (const std::string& arg : GetParam().args) {
        args.push_back(arg == "DIR" ? dir.path() : arg == "FACE" ? face : arg);
    }
    const ToolRun run = RunMimletFace(args);
    EXPECT_EQ(run.nStatus, 2);
    EXPECT_EQ(run.strOut, "");
    EXPECT_NE(run.strErr, "");
}

INSTANTIATE_TEST_SUITE_P(Arguments, InfoCommandUsage,
                         testing::Values(UsageCase{"NoFile", {}}, UsageCase{"OnlyJson", {"--json"}},
                                         UsageCase{"TwoFiles", {"FACE", "FACE"}},
                                         UsageCase{"UnknownOption", {"FACE", "--xml"}},
                                         UsageCase{"MissingFile", {"DIR/none.mf"}},
                                         UsageCase{"Folder", {"DIR", "--json"}}),
                         [](const testing::TestParamInfo<UsageCase>& info) {
                             return info.param.name;
                         });

} // namespace
