// The geometry pass tells an observer where each object's records begin, and loads exactly the
// same records whether it has one or not.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "mqo/mqo.hpp"

namespace {

struct Opened {
    std::string line;
    std::size_t vertexCounter;
    std::size_t faceCounter;
    bool operator==(const Opened&) const = default;
};

class Recorder final : public bloktar::GeometryObserver {
  public:
    void ObjectOpened(const char* line, std::size_t vertexCounter,
                      std::size_t faceCounter) override {
        opened.push_back({line, vertexCounter, faceCounter});
    }
    void GeometryEnded(std::size_t vertexCounter, std::size_t faceCounter) override {
        ++endings;
        endVertices = vertexCounter;
        endFaces = faceCounter;
    }
    std::vector<Opened> opened;
    int endings = 0;
    std::size_t endVertices = 0;
    std::size_t endFaces = 0;
};

struct Records {
    std::vector<bloktar::MQO_VERTEX> vertices;
    std::vector<bloktar::MQO_FACE> faces;
};

Records Load(const std::string& text, std::size_t vertexRoom, std::size_t faceRoom,
             bloktar::GeometryObserver* observer) {
    Records records{std::vector<bloktar::MQO_VERTEX>(vertexRoom),
                    std::vector<bloktar::MQO_FACE>(faceRoom)};
    bloktar::Document document;
    bloktar::OpenMemoryDocument(document, text.data(), text.size());
    bloktar::ReadObjectGeometry(document, records.vertices, records.faces, observer);
    return records;
}

template <typename Record>
bool SameBytes(const std::vector<Record>& a, const std::vector<Record>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Record)) == 0);
}

bool SameBytes(const Records& a, const Records& b) {
    return SameBytes(a.vertices, b.vertices) && SameBytes(a.faces, b.faces);
}

}  // namespace

TEST(GeometryObserver, IsToldWhereEachObjectsRecordsBeginAndWhereThePassEnded) {
    // "a" stores 2 vertices and 1 face; "h" is hidden before its chunks; "b" stores 1 and 2; the
    // object after Eof is never opened.
    const std::string text =
        "Metasequoia Document\nFormat Text Ver 1.0\n"
        "Object \"a\" {\n\tvertex 2 {\n\t\t1 2 3\n\t\t4 5 6\n\t}\n"
        "\tface 1 {\n\t\t3 V(0 1 0)\n\t}\n}\n"
        "Object \"h\" {\n\tvisible 0\n\tvertex 1 {\n\t\t7 8 9\n\t}\n}\n"
        "Object b {\n\tvertex 1 {\n\t\t7 8 9\n\t}\n"
        "\tface 2 {\n\t\t2 V(0 0)\n\t\t2 V(0 0)\n\t}\n}\n"
        "Eof\nObject \"late\" {\n}\n";
    Recorder recorder;
    const Records observed = Load(text, 3, 3, &recorder);
    const std::vector<Opened> expected = {
        {"Object \"a\" {\n", 0, 0}, {"Object \"h\" {\n", 2, 1}, {"Object b {\n", 2, 1}};
    EXPECT_EQ(recorder.opened, expected);
    EXPECT_EQ(recorder.endings, 1);
    EXPECT_EQ(recorder.endVertices, 3u);
    EXPECT_EQ(recorder.endFaces, 3u);
    EXPECT_TRUE(SameBytes(observed, Load(text, 3, 3, nullptr)));
}

TEST(GeometryObserver, CountersStopAtTheArraysEndsAndTheEndIsToldWhenTheDocumentStops) {
    // Room for one vertex and no face: the counters the observer sees stop there. The document
    // ends inside the second object.
    const std::string text =
        "Metasequoia Document\nFormat Text Ver 1.0\n"
        "Object \"a\" {\n\tvertex 2 {\n\t\t1 2 3\n\t\t4 5 6\n\t}\n\tface 1 {\n\t\t3 V(0 1 0)\n"
        "\t}\n}\nObject \"b\" {\n\tvertex 1 {\n\t\t7 8 9\n";
    Recorder recorder;
    const Records observed = Load(text, 1, 0, &recorder);
    const std::vector<Opened> expected = {{"Object \"a\" {\n", 0, 0}, {"Object \"b\" {\n", 1, 0}};
    EXPECT_EQ(recorder.opened, expected);
    EXPECT_EQ(recorder.endings, 1);
    EXPECT_EQ(recorder.endVertices, 1u);
    EXPECT_EQ(recorder.endFaces, 0u);
    EXPECT_TRUE(SameBytes(observed, Load(text, 1, 0, nullptr)));
}
