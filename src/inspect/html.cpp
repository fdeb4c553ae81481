#include "inspect/html.hpp"

#include <cstdio>
#include <memory>

#include "inspect/inspect_text.hpp"
#include "inspect/print.hpp"
#include "run/unicode.hpp"
#include "viewer_page.hpp"  // generated at build time from web/viewer.html and web/viewer.js

namespace bloktar::inspect {
namespace {

bool IsAscii(std::string_view bytes) {
    for (const char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// Takes what the inspector prints apart into lines for the page: each block's problem lines
// (those that start with the problem mark, after the line that starts with "ブロック "), and
// every line from the summary's first rule on.
class PageTextConsole final : public Console {
  public:
    PageTextConsole(std::size_t blocks, PageModel& model) : model_(model) {
        model_.problemLines.assign(blocks, {});
    }
    ~PageTextConsole() override {
        if (!line_.empty()) EndLine();
    }
    PageTextConsole(const PageTextConsole&) = delete;
    PageTextConsole& operator=(const PageTextConsole&) = delete;

    void Text(const ConsoleText& text) override {
        if (line_.empty() && kind_ == Kind::Unknown) {
            if (text.sjis == bloktar::text::kReportRule.sjis) inSummary_ = true;
            if (text.sjis == text::kBlock.sjis && !inSummary_) ++block_;
            kind_ = text.sjis == text::kProblemMark.sjis ? Kind::Problem : Kind::Other;
        }
        Add(false, text.utf8);
    }
    void Bytes(std::string_view bytes) override {
        if (kind_ == Kind::Unknown) kind_ = Kind::Other;
        Add(!IsAscii(bytes), bytes);
    }

  private:
    enum class Kind { Unknown, Problem, Other };

    void Add(bool documentBytes, std::string_view bytes) {
        while (!bytes.empty()) {
            const std::size_t end = documentBytes ? std::string_view::npos : bytes.find('\n');
            const std::string_view piece = bytes.substr(0, end);
            if (!piece.empty()) {
                if (!line_.empty() && line_.back().documentBytes == documentBytes) {
                    line_.back().bytes += piece;
                } else {
                    line_.push_back({documentBytes, std::string(piece)});
                }
            }
            if (end == std::string_view::npos) break;
            EndLine();
            bytes.remove_prefix(end + 1);
        }
    }

    void EndLine() {
        if (inSummary_) {
            model_.summary.push_back(std::move(line_));
        } else if (kind_ == Kind::Problem && block_ > 0 && block_ <= model_.problemLines.size()) {
            model_.problemLines[block_ - 1].push_back(std::move(line_));
        }
        line_.clear();
        kind_ = Kind::Unknown;
    }

    PageModel& model_;
    PageLine line_;
    Kind kind_ = Kind::Unknown;
    std::size_t block_ = 0;  // the number of the block being printed, plus one
    bool inSummary_ = false;
};

// Document bytes go as base64, for the page to decode as Shift_JIS.
void AppendDocumentBytes(std::string& out, std::string_view bytes) {
    AppendJsonString(out, Base64(bytes), JsonPlace::ScriptElement);
}

void AppendLine(std::string& out, const PageLine& line) {
    out += '[';
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (i > 0) out += ',';
        if (line[i].documentBytes) {
            out += "{\"s\":";
            AppendDocumentBytes(out, line[i].bytes);
            out += '}';
        } else {
            AppendJsonString(out, line[i].bytes, JsonPlace::ScriptElement);
        }
    }
    out += ']';
}

void AppendLines(std::string& out, const std::vector<PageLine>& lines) {
    out += '[';
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out += ',';
        AppendLine(out, lines[i]);
    }
    out += ']';
}

// The inspector's own words that the page puts together again in its panel.
void AppendWords(std::string& out) {
    const struct {
        const char* key;
        const ConsoleText& text;
    } words[] = {
        {"block", text::kBlock},
        {"layout", text::kLayout},
        {"none", text::kNone},
        {"faceTextures", text::kFaceTextures},
        {"noName", text::kNoName},
        {"outOfRange", text::kOutOfRange},
        {"textureNames", text::kTextureNames},
        {"face", text::kFace},
        {"texture", text::kTexture},
        {"corner", text::kCorner},
        {"problemBlocks", text::kProblemBlocks},
    };
    out += '{';
    bool first = true;
    for (const auto& [key, text] : words) {
        if (!first) out += ',';
        first = false;
        AppendJsonString(out, key, JsonPlace::ScriptElement);
        out += ':';
        AppendJsonString(out, text.utf8, JsonPlace::ScriptElement);
    }
    out += '}';
}

std::string PageData(std::span<const Bd1Block> blocks, const PageModel& model) {
    std::string json = "{\"title\":";
    AppendJsonString(json, model.title, JsonPlace::ScriptElement);
    json += ",\"fromBd1\":";
    json += model.fromBd1 ? "true" : "false";
    json += ",\"blockCount\":" + std::to_string(blocks.size());
    json += ",\"words\":";
    AppendWords(json);
    json += ",\"faceCorners\":[";
    for (int f = 0; f < kBlockFaces; ++f) {
        if (f > 0) json += ',';
        json += '[';
        for (int c = 0; c < kFaceCornerCount; ++c) {
            if (c > 0) json += ',';
            json += std::to_string(kBd1FaceCorners[f][c]);
        }
        json += ']';
    }
    json += ']';
    json += ",\"textures\":[";
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        if (slot > 0) json += ',';
        json += "{\"name\":";
        AppendDocumentBytes(json, SlotName(model.header, slot));
        json += ",\"image\":";
        AppendJsonString(json, model.textureImages[static_cast<std::size_t>(slot)],
                         JsonPlace::ScriptElement);
        json += '}';
    }
    json += "],\"objects\":[";
    for (std::size_t i = 0; i < model.objectNames.size(); ++i) {
        if (i > 0) json += ',';
        AppendDocumentBytes(json, model.objectNames[i]);
    }
    // Each block's objects: one number, or a list when there are several (or none).
    json += "],\"blockObjects\":[";
    for (std::size_t b = 0; b < model.blockObjects.size(); ++b) {
        if (b > 0) json += ',';
        const std::vector<std::size_t>& objects = model.blockObjects[b];
        if (objects.size() == 1) {
            json += std::to_string(objects.front());
            continue;
        }
        json += '[';
        for (std::size_t i = 0; i < objects.size(); ++i) {
            if (i > 0) json += ',';
            json += std::to_string(objects[i]);
        }
        json += ']';
    }
    // The problem lines of the blocks that have any, by block number.
    json += "],\"problems\":{";
    bool first = true;
    for (std::size_t b = 0; b < model.problemLines.size(); ++b) {
        if (model.problemLines[b].empty()) continue;
        if (!first) json += ',';
        first = false;
        json += '"' + std::to_string(b) + "\":";
        AppendLines(json, model.problemLines[b]);
    }
    json += "},\"summary\":";
    AppendLines(json, model.summary);
    json += ",\"blocks\":";
    AppendJsonString(json, Base64(BlockData(blocks, model)), JsonPlace::ScriptElement);
    json += '}';
    return json;
}

// The folder part of path, with its separator ("" for a bare name).
NativeString FolderOf(const NativeChar* path) {
    const NativeString whole(path);
#ifdef _WIN32
    const std::size_t cut = whole.find_last_of(L"\\/:");
#else
    const std::size_t cut = whole.rfind('/');
#endif
    return cut == NativeString::npos ? NativeString() : whole.substr(0, cut + 1);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// The file's bytes when it is a regular file of at most kMaxTextureBytes; false otherwise.
bool ReadTextureFile(const NativeString& path, std::string& bytes) {
    const std::unique_ptr<std::FILE, FileCloser> file(OpenInputDocument(path.c_str()));
    if (file == nullptr) return false;
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const std::size_t got = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.append(buffer, got);
        if (bytes.size() > kMaxTextureBytes) return false;
        if (got < sizeof buffer) return std::ferror(file.get()) == 0;
    }
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text, JsonPlace place) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 ||
                   (place == JsonPlace::ScriptElement && (c == '<' || c == '>' || c == '&'))) {
            out += "\\u00";
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void DescribeDocument(const DocumentInspection& inspection, PageModel& model) {
    model.fromBd1 = false;
    model.header = inspection.header;
    model.problem.clear();
    model.layout.clear();
    model.blockObjects.clear();
    for (const BlockFindings& findings : inspection.findings) {
        model.problem.push_back(HasProblem(findings) ? 1 : 0);
        model.layout.push_back(findings.layout);
        model.blockObjects.push_back(findings.objects);
    }
    model.objectNames.clear();
    for (const InspectedObject& object : inspection.objects)
        model.objectNames.push_back(object.name);
    model.summary.clear();
    PageTextConsole console(inspection.blocks.size(), model);
    PrintDocumentInspection(inspection, console);
}

void DescribeBd1File(const Bd1Reading& reading, PageModel& model) {
    model.fromBd1 = true;
    model.header = reading.header;
    model.problem.clear();
    for (const Bd1Block& block : reading.blocks) {
        model.problem.push_back(TexturesInRange(block) ? 0 : 1);
    }
    model.layout.clear();
    model.blockObjects.clear();
    model.objectNames.clear();
    model.summary.clear();
    PageTextConsole console(reading.blocks.size(), model);
    PrintBd1Inspection(reading, console);
}

std::string FileNameText(const NativeChar* path) {
    NativeString name(path);
    name.erase(0, FolderOf(path).size());
    const std::string text = NativeToUtf8(name);
    return Printable(text);
}

void FindTextureImages(const NativeChar* input, const Bd1Header& header,
                       std::array<std::string, kTextureSlots>& images) {
    std::string bytes;
    for (int slot = 0; slot < kTextureSlots; ++slot) {
        auto& image = images[static_cast<std::size_t>(slot)];
        image.clear();
        if (ReadTextureImage(input, SlotName(header, slot), bytes)) image = ImageDataUri(bytes);
    }
}

bool ReadTextureImage(const NativeChar* input, std::string_view name, std::string& bytes) {
    NativeString path;
    return !name.empty() && DocumentNamePath(FolderOf(input), name, path) &&
           ReadTextureFile(path, bytes);
}

std::string ImageDataUri(std::string_view bytes) {
    const char* type = nullptr;
    if (bytes.starts_with("BM")) {
        type = "image/bmp";
    } else if (bytes.starts_with("\x89PNG\r\n\x1a\n")) {
        type = "image/png";
    } else if (bytes.starts_with("\xFF\xD8\xFF")) {
        type = "image/jpeg";
    } else if (bytes.starts_with("GIF87a") || bytes.starts_with("GIF89a")) {
        type = "image/gif";
    } else if (bytes.size() >= 12 && bytes.starts_with("RIFF") && bytes.substr(8, 4) == "WEBP") {
        type = "image/webp";
    }
    if (type == nullptr) return {};
    return std::string("data:") + type + ";base64," + Base64(bytes);
}

std::string Base64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        const auto c = static_cast<unsigned char>(bytes[i + 2]);
        out += kDigits[a >> 2];
        out += kDigits[((a & 3) << 4) | (b >> 4)];
        out += kDigits[((b & 15) << 2) | (c >> 6)];
        out += kDigits[c & 63];
    }
    if (i < bytes.size()) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const bool two = i + 1 < bytes.size();
        const auto b = two ? static_cast<unsigned char>(bytes[i + 1]) : 0;
        out += kDigits[a >> 2];
        out += kDigits[((a & 3) << 4) | (b >> 4)];
        out += two ? kDigits[(b & 15) << 2] : '=';
        out += '=';
    }
    return out;
}

std::string BlockData(std::span<const Bd1Block> blocks, const PageModel& model) {
    constexpr std::size_t kRecordPart = offsetof(Bd1Block, flag);
    std::string data;
    data.reserve(blocks.size() * (kRecordPart + 2));
    for (const Bd1Block& block : blocks) {
        data.append(reinterpret_cast<const char*>(&block), kRecordPart);
    }
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        data += static_cast<char>(b < model.problem.size() && model.problem[b] != 0 ? 1 : 0);
    }
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        const int layout = b < model.layout.size() ? model.layout[b] : kNoLayout;
        data += static_cast<char>(static_cast<signed char>(layout));
    }
    return data;
}

std::string BuildInspectionPage(std::span<const Bd1Block> blocks, const PageModel& model) {
    // The template holds two marks: where the data goes, and where the viewer's code goes.
    constexpr std::string_view kDataMark = "<!--BLOKTAR-DATA-->";
    constexpr std::string_view kCodeMark = "/*BLOKTAR-VIEWER*/";
    const std::string_view page = web::kViewerHtml;
    const std::size_t data = page.find(kDataMark);
    const std::size_t code = page.find(kCodeMark);
    std::string html;
    html += page.substr(0, data);
    html += "<script type=\"application/json\" id=\"bloktar-data\">";
    html += PageData(blocks, model);
    html += "</script>";
    html += page.substr(data + kDataMark.size(), code - data - kDataMark.size());
    html += web::kViewerJs;
    html += page.substr(code + kCodeMark.size());
    return html;
}

}  // namespace bloktar::inspect
