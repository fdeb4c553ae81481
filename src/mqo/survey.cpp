#include "mqo/mqo.hpp"
#include "mqo/numbers.hpp"

namespace bloktar {
namespace {

constexpr int kSurveyLineLimit = 256;
constexpr std::int32_t kMaterialSlots = 10;

// Result of reading the lines of one object.
enum class ObjectEnd { Closed, Hidden, DocumentEnded };

ObjectEnd SurveyObject(Document& document, MqoSummary& summary) {
    std::size_t length;
    for (;;) {
        // Vertex and face lines begin with two tabs, like no line that counts here.
        SkipTwoTabLines(document, kSurveyLineLimit);
        const char* line = NextDocumentPiece(document, kSurveyLineLimit, length);
        if (line == nullptr) break;
        if (line[0] == '}') return ObjectEnd::Closed;
        if (BeginsWith(line, "\tvisible ") && ParseInt(line + 9) == 0) return ObjectEnd::Hidden;
        if (BeginsWith(line, "\tvertex ")) {
            summary.vertexTotal = WrappingAdd(summary.vertexTotal, ParseInt(line + 8));
        } else if (BeginsWith(line, "\tface ")) {
            summary.faceTotal = WrappingAdd(summary.faceTotal, ParseInt(line + 6));
        }
    }
    return ObjectEnd::DocumentEnded;
}

}  // namespace

SurveyEnd SurveyLines(Document& document, MqoSummary& summary) {
    std::size_t length;
    while (const char* line = NextDocumentPiece(document, kSurveyLineLimit, length)) {
        if (BeginsWith(line, "Material ")) {
            const std::int32_t count = ParseInt(line + 9);
            summary.materialCount = count > kMaterialSlots ? kMaterialSlots : count;
        } else if (BeginsWith(line, "Object ")) {
            summary.objectCount = WrappingAdd(summary.objectCount, 1);
            // A hidden object's remaining lines are read on at the object level.
            if (SurveyObject(document, summary) == ObjectEnd::DocumentEnded) {
                return SurveyEnd::InsideObject;
            }
        } else if (BeginsWith(line, "Eof")) {
            return SurveyEnd::Eof;
        }
    }
    return SurveyEnd::BetweenObjects;
}

void SurveyDocument(Document& document, MqoSummary& summary) {
    SurveyLines(document, summary);
    summary.estimatedBlockCount = summary.vertexTotal / 8;
}

}  // namespace bloktar
