// Lines by their shape, for processors with wide vectors. The lines of a chunk mostly differ only
// in their digits: where the signs, points and spaces stand repeats from line to line. The first
// line of a shape is taken apart from its byte masks and its shape noted: where each number's
// digits stand, their places, the sign. A later line whose bytes other than digits are the same,
// at the same places, is read by the noted shape at once: each number's digits gathered by a
// shuffle, added up, divided by the power of ten of its places, exactly as the number-by-number
// reading reads them. Three kinds: a vertex line whole; the start of a face line up to its UV
// list; a UV corner, two numbers.
#pragma once

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#include "mqo/mqo.hpp"
#include "mqo/numbers.hpp"
#include "mqo/usual_shape.hpp"

#ifdef BLOKTAR_USE_AVX2
namespace bloktar::line_shapes {

// The bytes of a line that a shape covers: two tabs, three numbers and the line's end, a
// carriage return or a newline, within them. The scan loads them at once from the document's
// bytes at the read position, which are readable that far past their terminating zero.
inline constexpr unsigned kShapeBytes = 48;
static_assert(kShapeBytes <= kBufferReadAhead);

// How a vertex line of one shape is read. Its key has a bit set for every byte up to and with
// the line's end that is no digit; the bytes there are marks, zero where digits stand.
struct alignas(16) VertexShape {
    std::uint64_t key;             // 0: no shape noted yet (a noted key has the tabs' bits)
    std::uint32_t lineEnd;         // where the carriage return or newline stands
    std::uint32_t numberStart[3];  // the first byte of each number's digits and point
    // Per number, 10^places, negative where the record's value is: x is the number negated.
    alignas(16) double divisors[4];
    alignas(16) std::uint8_t marks[kShapeBytes];
    // Per number, the shuffle of its 16 bytes from numberStart that gathers its digits into the
    // last lanes: the third alone, the first two in one 32-byte register.
    alignas(16) number_detail::DigitShuffle third;
    alignas(16) number_detail::DigitShuffle firstTwo[2];
};
static_assert(sizeof(VertexShape) == 160);

// The vectors the scans use, held in memory beside the shapes: loaded as operands where they
// are used, rather than built in registers line after line.
template <typename Lane>
struct alignas(32) Lanes {
    Lane lanes[32 / sizeof(Lane)];
};
template <typename Lane>
constexpr Lanes<Lane> Repeated(Lane value) {
    Lanes<Lane> vector{};
    for (Lane& lane : vector.lanes) lane = value;
    return vector;
}
struct ShapeVectors {
    Lanes<std::uint8_t> zeros = Repeated<std::uint8_t>('0');
    Lanes<std::uint8_t> nines = Repeated<std::uint8_t>(9);
    Lanes<std::uint8_t> controls = Repeated<std::uint8_t>(0x20);
    Lanes<std::uint16_t> pairWeights = Repeated<std::uint16_t>(0x010A);
    Lanes<std::uint32_t> fourWeights = Repeated<std::uint32_t>(0x00010064);
    Lanes<std::uint32_t> eightWeights = Repeated<std::uint32_t>(0x00012710);
    // The halves of eight of three numbers, low halves then high halves, in number order.
    Lanes<std::uint32_t> halvesInOrder = {{1, 5, 3, 3, 0, 4, 2, 2}};
    Lanes<double> hundredMillion = Repeated(1e8);
    Lanes<std::uint8_t> openings = Repeated<std::uint8_t>('(');
    Lanes<std::uint8_t> spaces = Repeated<std::uint8_t>(' ');
    Lanes<std::uint8_t> closings = Repeated<std::uint8_t>(')');
    // The low halves of eight of four integers, two to a register, in corner order.
    Lanes<std::uint32_t> cornersInOrder = {{1, 5, 3, 7, 1, 5, 3, 7}};
    // The halves of eight of two numbers, one to a lane: low halves, then high halves.
    Lanes<std::uint32_t> pairInOrder = {{1, 5, 0, 4, 1, 5, 0, 4}};
};

template <typename Lane>
BLOKTAR_AVX2_TARGET inline __m256i Load(const Lanes<Lane>& vector) {
    return _mm256_load_si256(reinterpret_cast<const __m256i*>(vector.lanes));
}

// How the start of a face line of one shape is read, up to and with its "UV(": the corner count,
// the corner indices and the material, each integer of at most eight digits. The key has a bit
// set for every byte up to the "(" of "UV(" that is no digit; the marks hold those bytes and the
// corner count's digits, which the shape fixes, and zeros elsewhere.
inline constexpr unsigned kFaceStartBytes = 64;
static_assert(kFaceStartBytes <= kBufferReadAhead);
struct alignas(16) FaceStartShape {
    std::uint64_t key;      // 0: no shape noted yet
    std::uint64_t checked;  // the key's bytes and the corner count's digits
    std::int32_t n;
    int indices;
    int pairs;
    // The first byte of the indices, two to a register, and of the material.
    std::uint32_t integerStart[5];
    alignas(16) std::uint8_t marks[kFaceStartBytes];
    alignas(16) number_detail::DigitShuffle integers[6];  // V[0] | V[1], V[2] | V[3], M
};

// How a UV corner of one shape is read: two numbers, one space between them, and the byte behind
// them, a space or ")". The key has a bit set for every byte up to that one that is no digit;
// the marks hold those bytes and the digits of the numbers' exponents, which the shape fixes,
// and zeros elsewhere.
inline constexpr unsigned kCornerBytes = 32;
static_assert(kCornerBytes <= kBufferReadAhead);
struct alignas(16) CornerShape {
    std::uint64_t key;      // 0: no shape noted yet; the top bit set when ")" ends the corner
    std::uint32_t checked;  // the key's bytes and the exponents' digits
    std::uint32_t numberStart[2];
    alignas(16) std::uint8_t marks[kCornerBytes];
    alignas(16) number_detail::DigitShuffle numbers[2];
    // Each number is its digits times the multiplier, divided by the divisor, one of which is 1.
    alignas(16) double multipliers[2];
    alignas(16) double divisors[2];
};

// Shapes noted so far, by a hash of the key; a new shape takes the place of an older one.
inline constexpr unsigned kShapeSlotsLog2 = 13;
inline constexpr unsigned kFaceShapeSlotsLog2 = 8;
inline constexpr unsigned kCornerShapeSlotsLog2 = 12;
// Slots of zeros, null when the system has no room for them.
struct FreeSlots {
    void operator()(void* slots) const { std::free(slots); }
};
template <typename Shape>
using Slots = std::unique_ptr<Shape[], FreeSlots>;
template <typename Shape>
Slots<Shape> ZeroSlots(unsigned log2) {
    static_assert(std::is_trivially_copyable_v<Shape> && alignof(Shape) <= 16);
    return Slots<Shape>(static_cast<Shape*>(std::calloc(std::size_t{1} << log2, sizeof(Shape))));
}

struct LineShapes {
    Slots<VertexShape> slots = ZeroSlots<VertexShape>(kShapeSlotsLog2);
    Slots<FaceStartShape> faceSlots = ZeroSlots<FaceStartShape>(kFaceShapeSlotsLog2);
    Slots<CornerShape> cornerSlots = ZeroSlots<CornerShape>(kCornerShapeSlotsLog2);
    ShapeVectors vectors;
    bool Obtained() const { return slots && faceSlots && cornerSlots; }
    // Whether the last face line tried began with a corner of five places (see
    // ScanUsualUvCorners), and the lines since then.
    bool fivePlaceLine = true;
    unsigned otherLines = 0;
};

// What the scan makes of the shape bytes at a line's start.
struct LineBytes {
    __m256i first;        // bytes 0 to 31
    __m128i last;         // bytes 32 to 47
    __m256i firstDigits;  // 0xFF where a digit stands
    __m128i lastDigits;
    std::uint64_t notDigit;
    std::uint64_t key;  // as VertexShape::key; 0 when no line end stands within the bytes
    unsigned lineEnd;
};

BLOKTAR_AVX2_TARGET inline __m128i Low(__m256i vector) {
    return _mm256_castsi256_si128(vector);
}

// The bytes that are digits, as 0xFF.
BLOKTAR_AVX2_TARGET inline __m256i DigitLanes(__m256i bytes, const ShapeVectors& vectors) {
    const __m256i digits = _mm256_sub_epi8(bytes, Load(vectors.zeros));
    return _mm256_cmpeq_epi8(_mm256_min_epu8(digits, Load(vectors.nines)), digits);
}
BLOKTAR_AVX2_TARGET inline __m128i DigitLanes(__m128i bytes, const ShapeVectors& vectors) {
    const __m128i digits = _mm_sub_epi8(bytes, Low(Load(vectors.zeros)));
    return _mm_cmpeq_epi8(_mm_min_epu8(digits, Low(Load(vectors.nines))), digits);
}
BLOKTAR_AVX2_TARGET inline std::uint32_t LaneBits(__m256i lanes) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(lanes));
}

BLOKTAR_AVX2_TARGET inline void LoadLineBytes(const char* line, const ShapeVectors& vectors,
                                              LineBytes& bytes) {
    bytes.first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line));
    bytes.last = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + 32));
    // Bytes below 0x20 or from 0x80 up, past the two tabs: a line's end, or a byte no shape has.
    const auto controlLow = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpgt_epi8(Load(vectors.controls), bytes.first)));
    const auto controlHigh = static_cast<std::uint32_t>(
        _mm_movemask_epi8(_mm_cmpgt_epi8(Low(Load(vectors.controls)), bytes.last)));
    const std::uint64_t control =
        (controlLow | (std::uint64_t{controlHigh} << 32)) & ~std::uint64_t{3};
    bytes.firstDigits = DigitLanes(bytes.first, vectors);
    bytes.lastDigits = DigitLanes(bytes.last, vectors);
    const auto digitHigh = static_cast<std::uint32_t>(_mm_movemask_epi8(bytes.lastDigits));
    // Past the 48 bytes no digits.
    bytes.notDigit = ~(LaneBits(bytes.firstDigits) | (std::uint64_t{digitHigh} << 32));
    bytes.lineEnd = static_cast<unsigned>(std::countr_zero(control));
    bytes.key = bytes.lineEnd < kShapeBytes ? _bzhi_u64(bytes.notDigit, bytes.lineEnd + 1) : 0;
}

// The slot of a key among the 2^log2 slots.
template <typename Shape>
BLOKTAR_AVX2_TARGET inline Shape& SlotOf(const Slots<Shape>& slots, unsigned log2,
                                         std::uint64_t key) {
    return slots[(key * 0x9E3779B97F4A7C15u) >> (64 - log2)];
}

// Bit i set where byte i of the 32 bytes is the mark at marks[i].
BLOKTAR_AVX2_TARGET inline std::uint64_t Matching(__m256i bytes, const std::uint8_t* marks) {
    return static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_cmpeq_epi8(bytes, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(marks)))));
}

BLOKTAR_AVX2_TARGET inline VertexShape& SlotFor(LineShapes& shapes, std::uint64_t key) {
    return SlotOf(shapes.slots, kShapeSlotsLog2, key);
}

// The shape noted for these bytes, when their marks match it; null otherwise.
BLOKTAR_AVX2_TARGET inline const VertexShape* FindShape(LineShapes& shapes,
                                                        const LineBytes& bytes) {
    const VertexShape& shape = SlotFor(shapes, bytes.key);
    if (shape.key != bytes.key || bytes.key == 0) return nullptr;
    const auto high = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(
        bytes.last, _mm_load_si128(reinterpret_cast<const __m128i*>(shape.marks + 32)))));
    const std::uint64_t matching = Matching(bytes.first, shape.marks) | std::uint64_t{high} << 32;
    return (bytes.key & ~matching) == 0 ? &shape : nullptr;
}

// Gathered digits added up in pairs, then fours.
BLOKTAR_AVX2_TARGET inline __m256i Fours(__m256i digits, const ShapeVectors& vectors) {
    return _mm256_madd_epi16(_mm256_maddubs_epi16(digits, Load(vectors.pairWeights)),
                             Load(vectors.fourWeights));
}

// Reads the three numbers of a line of the shape into record, as ScanUsualVertexLine does.
BLOKTAR_AVX2_TARGET inline void ReadByShape(const char* line, const VertexShape& shape,
                                            const ShapeVectors& vectors, MQO_VERTEX& record) {
    const __m256i zeros = Load(vectors.zeros);
    const __m256i firstTwo = _mm256_sub_epi8(
        _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(line + shape.numberStart[1]),
                            reinterpret_cast<const __m128i*>(line + shape.numberStart[0])),
        zeros);
    const __m128i third = _mm_sub_epi8(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + shape.numberStart[2])), Low(zeros));
    const __m256i gatheredTwo = _mm256_shuffle_epi8(
        firstTwo, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shape.firstTwo)));
    const __m128i gatheredThird =
        _mm_shuffle_epi8(third, _mm_load_si128(reinterpret_cast<const __m128i*>(&shape.third)));
    // As ScanCompactFloatShuffled adds them up: pairs, fours, then the halves of eight, here the
    // third number's fours packed beside each of the first two's.
    const __m128i foursThird =
        _mm_madd_epi16(_mm_maddubs_epi16(gatheredThird, Low(Load(vectors.pairWeights))),
                       Low(Load(vectors.fourWeights)));
    const __m256i eights = _mm256_madd_epi16(
        _mm256_packs_epi32(Fours(gatheredTwo, vectors), _mm256_broadcastsi128_si256(foursThird)),
        Load(vectors.eightWeights));
    // Lanes: high and low halves of the first, then of the third; the same for the second, then
    // the third again. Gathered into the low halves and the high halves, in number order.
    const __m256i ordered = _mm256_permutevar8x32_epi32(eights, Load(vectors.halvesInOrder));
    const __m256d low = _mm256_cvtepi32_pd(Low(ordered));
    const __m256d high = _mm256_cvtepi32_pd(_mm256_extracti128_si256(ordered, 1));
    // At most 15 digits: the mantissas are exact, and so is each sum.
    const __m256d mantissas =
        _mm256_add_pd(_mm256_mul_pd(high, _mm256_load_pd(vectors.hundredMillion.lanes)), low);
    const __m128 values =
        _mm256_cvtpd_ps(_mm256_div_pd(mantissas, _mm256_loadu_pd(shape.divisors)));
    _mm_storel_pi(reinterpret_cast<__m64*>(&record.x), values);
    record.z = _mm_cvtss_f32(_mm_movehl_ps(values, values));
}

// A number of the kind the shapes read, its digits and point from start on, behind an optional
// sign: lanes start + 0 to start + end - 1 of the text, the point, if any, at start + whole.
struct PlainNumber {
    unsigned start;
    unsigned whole;
    unsigned end;
    bool point;
    bool negative;
    unsigned Places() const { return point ? end - whole - 1u : 0u; }
};

// Reads the number at text + at, where notDigit has a bit set for every byte that is no digit, as
// ScanCompactFloatShuffled reads it at once: false unless its digits and point fill at most 15
// bytes and hold at least one digit. What follows it is for the caller to see.
BLOKTAR_AVX2_TARGET inline bool ReadPlainNumber(const char* text, std::uint64_t notDigit,
                                                unsigned at, PlainNumber& number) {
    const char sign = text[at];
    number.negative = sign == '-';
    if (sign == '-' || sign == '+') ++at;
    const std::uint64_t rest = notDigit >> at;
    number.start = at;
    number.whole = static_cast<unsigned>(std::countr_zero(rest));
    number.point = text[at + number.whole] == '.';
    number.end =
        number.point ? static_cast<unsigned>(std::countr_zero(rest & (rest - 1u))) : number.whole;
    return number.end != (number.point ? 1u : 0u) && number.end <= 15;
}

// Works out the shape of the line whose bytes these are, when it is one that a shape reads as
// ScanUsualVertexLine reads it: two tabs, three numbers, the first two each followed by one space
// and the third by the line's end, each number's digits and point, behind an optional sign,
// filling at most 15 bytes and holding at least one digit. Returns false for any other line.
BLOKTAR_AVX2_TARGET inline bool WorkOutShape(const char* line, const LineBytes& bytes,
                                             VertexShape& shape) {
    if (bytes.key == 0 || line[0] != '\t' || line[1] != '\t') return false;
    unsigned at = 2;
    for (unsigned k = 0; k < 3; ++k) {
        PlainNumber number;
        if (!ReadPlainNumber(line, bytes.notDigit, at, number)) return false;
        const unsigned stop = number.start + number.end;
        if (k < 2 ? line[stop] != ' ' : stop != bytes.lineEnd) return false;
        shape.numberStart[k] = number.start;
        number_detail::DigitShuffle& shuffle = k < 2 ? shape.firstTwo[k] : shape.third;
        shuffle = number_detail::kRightAlignedDigits.at[number.whole][number.end];
        const unsigned negative = number.negative != (k == 0) ? 1u : 0u;  // x is negated
        shape.divisors[k] = number_detail::kSignedPowersOfTen.powers[negative][number.Places()];
        at = stop + 1;
    }
    shape.divisors[3] = 1;
    // The marks: the bytes that are no digits, zeros where digits stand.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(shape.marks),
                        _mm256_andnot_si256(bytes.firstDigits, bytes.first));
    _mm_store_si128(reinterpret_cast<__m128i*>(shape.marks + 32),
                    _mm_andnot_si128(bytes.lastDigits, bytes.last));
    shape.key = bytes.key;
    shape.lineEnd = bytes.lineEnd;
    return true;
}

// Keeps a shape worked out, in the slot of its key.
BLOKTAR_AVX2_TARGET inline void NoteShape(LineShapes& shapes, const VertexShape& shape) {
    SlotFor(shapes, shape.key) = shape;
}

// What the scan makes of the first 64 bytes of a face line.
struct FaceBytes {
    __m256i first;
    __m256i second;
    std::uint64_t key;  // as FaceStartShape::key; 0 when no "UV(" can stand within the bytes
    unsigned uvStart;   // behind the third "("
};

BLOKTAR_AVX2_TARGET inline void LoadFaceBytes(const char* line, const ShapeVectors& vectors,
                                              FaceBytes& bytes) {
    bytes.first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line));
    bytes.second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(line + 32));
    const std::uint64_t digits = LaneBits(DigitLanes(bytes.first, vectors)) |
                                 std::uint64_t{LaneBits(DigitLanes(bytes.second, vectors))} << 32;
    const auto openingsLow = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes.first, Load(vectors.openings))));
    const auto openingsHigh = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(bytes.second, Load(vectors.openings))));
    std::uint64_t openings = openingsLow | (std::uint64_t{openingsHigh} << 32);
    // The third "(": the one of "UV(" in a line of the usual shape.
    openings &= openings - 1;
    openings &= openings - 1;
    const auto third = static_cast<unsigned>(std::countr_zero(openings));
    bytes.uvStart = third + 1;
    bytes.key = third < kFaceStartBytes ? _bzhi_u64(~digits, third + 1) : 0;
}

BLOKTAR_AVX2_TARGET inline FaceStartShape& FaceSlotFor(LineShapes& shapes, std::uint64_t key) {
    return SlotOf(shapes.faceSlots, kFaceShapeSlotsLog2, key);
}

// The face start shape noted for these bytes, when their marks match it; null otherwise.
BLOKTAR_AVX2_TARGET inline const FaceStartShape* FindFaceShape(LineShapes& shapes,
                                                               const FaceBytes& bytes) {
    const FaceStartShape& shape = FaceSlotFor(shapes, bytes.key);
    if (shape.key != bytes.key || bytes.key == 0) return nullptr;
    const std::uint64_t matching =
        Matching(bytes.first, shape.marks) | Matching(bytes.second, shape.marks + 32) << 32;
    return (shape.checked & ~matching) == 0 ? &shape : nullptr;
}

// The digits of two integers of a face line's start, gathered: the fields first and second.
BLOKTAR_AVX2_TARGET inline __m256i GatheredIntegers(const char* line, const FaceStartShape& shape,
                                                    const ShapeVectors& vectors, unsigned first,
                                                    unsigned second) {
    const __m256i bytes = _mm256_sub_epi8(
        _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(line + shape.integerStart[second]),
                            reinterpret_cast<const __m128i*>(line + shape.integerStart[first])),
        Load(vectors.zeros));
    return _mm256_shuffle_epi8(
        bytes, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(&shape.integers[first])));
}

// Reads the start of a face line of the shape into face, as ScanUsualFaceStart does, up to the
// position behind "UV(", which FaceBytes::uvStart tells.
BLOKTAR_AVX2_TARGET inline void ReadFaceStartByShape(const char* line, const FaceStartShape& shape,
                                                     const ShapeVectors& vectors,
                                                     usual_shape::UsualFace& face) {
    // At most eight digits each: an integer is the low half of its eight.
    const __m256i corners = _mm256_madd_epi16(
        _mm256_packs_epi32(Fours(GatheredIntegers(line, shape, vectors, 0, 1), vectors),
                           Fours(GatheredIntegers(line, shape, vectors, 2, 3), vectors)),
        Load(vectors.eightWeights));
    const __m256i material = _mm256_madd_epi16(
        _mm256_packs_epi32(Fours(GatheredIntegers(line, shape, vectors, 4, 4), vectors),
                           _mm256_setzero_si256()),
        Load(vectors.eightWeights));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(face.V),
                     Low(_mm256_permutevar8x32_epi32(corners, Load(vectors.cornersInOrder))));
    face.M = _mm_extract_epi32(Low(material), 1);
    face.n = shape.n;
    face.indices = shape.indices;
    face.pairs = shape.pairs;
}

// Works out the shape of the start of a face line that ScanUsualFaceStart has read into face, if
// every integer in it has at most eight digits and its "UV(" stands within the 64 bytes.
BLOKTAR_AVX2_TARGET inline bool WorkOutFaceShape(const char* line, const FaceBytes& bytes,
                                                 const usual_shape::UsualFace& face,
                                                 const char* uvStart, FaceStartShape& shape) {
    if (bytes.key == 0) return false;
    unsigned at = 2;
    while (IsDigit(line[at])) ++at;
    shape.checked = bytes.key | (((std::uint64_t{1} << (at - 2)) - 1) << 2);
    at += 3;  // " V("
    const auto integer = [&shape, &at, line](unsigned field) {
        const unsigned start = at;
        while (IsDigit(line[at])) ++at;
        const unsigned digits = at - start;
        if (digits > 8) return false;
        shape.integerStart[field] = start;
        shape.integers[field] = number_detail::kRightAlignedDigits.at[digits][digits];
        return true;
    };
    for (int k = 0; k < face.indices; ++k) {
        if (!integer(static_cast<unsigned>(k))) return false;
        ++at;  // the space, or the ")" behind the last
    }
    for (int k = face.indices; k < usual_shape::kFaceCorners; ++k) {
        shape.integerStart[k] = 0;
        shape.integers[k] = number_detail::kRightAlignedDigits.at[0][0];
    }
    at += 3;  // " M("
    if (!integer(4)) return false;
    shape.integers[5] = number_detail::kRightAlignedDigits.at[0][0];
    at += 5;  // ") UV("
    if (line + at != uvStart || _bzhi_u64(bytes.key, at) != bytes.key) return false;
    for (unsigned i = 0; i < kFaceStartBytes; ++i) {
        shape.marks[i] = (shape.checked >> i & 1) != 0 ? static_cast<std::uint8_t>(line[i]) : 0;
    }
    shape.n = face.n;
    shape.indices = face.indices;
    shape.pairs = face.pairs;
    shape.key = bytes.key;
    return true;
}

BLOKTAR_AVX2_TARGET inline void NoteFaceShape(LineShapes& shapes, const FaceStartShape& shape) {
    FaceSlotFor(shapes, shape.key) = shape;
}

// What the scan makes of the 32 bytes at a UV corner.
struct CornerBytes {
    __m256i bytes;
    __m256i digits;          // 0xFF where a digit stands
    std::uint64_t notDigit;  // past the 32 bytes no digits
    std::uint64_t key;       // as CornerShape::key; 0 when no end stands within the bytes
    unsigned end;            // the second space or ")"
};

BLOKTAR_AVX2_TARGET inline void LoadCornerBytes(const char* text, const ShapeVectors& vectors,
                                                CornerBytes& corner) {
    corner.bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(text));
    corner.digits = DigitLanes(corner.bytes, vectors);
    corner.notDigit = ~std::uint64_t{LaneBits(corner.digits)};
    std::uint64_t ends = static_cast<std::uint32_t>(_mm256_movemask_epi8(
        _mm256_or_si256(_mm256_cmpeq_epi8(corner.bytes, Load(vectors.spaces)),
                        _mm256_cmpeq_epi8(corner.bytes, Load(vectors.closings)))));
    ends &= ends - 1;
    corner.end = static_cast<unsigned>(std::countr_zero(ends));
    // The last corner of a line, which ")" ends, has a key of its own, not to take turns in one
    // slot with the others.
    corner.key = corner.end < kCornerBytes ? _bzhi_u64(corner.notDigit, corner.end + 1) |
                                                 (std::uint64_t{text[corner.end] == ')'} << 63)
                                           : 0;
}

BLOKTAR_AVX2_TARGET inline CornerShape& CornerSlotFor(LineShapes& shapes, std::uint64_t key) {
    return SlotOf(shapes.cornerSlots, kCornerShapeSlotsLog2, key);
}

// The corner shape noted for these bytes, when their marks match it; null otherwise.
BLOKTAR_AVX2_TARGET inline const CornerShape* FindCornerShape(LineShapes& shapes,
                                                              const CornerBytes& corner) {
    const CornerShape& shape = CornerSlotFor(shapes, corner.key);
    if (shape.key != corner.key || corner.key == 0) return nullptr;
    return (shape.checked & ~Matching(corner.bytes, shape.marks)) == 0 ? &shape : nullptr;
}

// Reads both numbers of a corner of the shape, as ScanNumberAt reads each of them; they end where
// the bytes' end stands, as it does for every corner whose key is the shape's.
BLOKTAR_AVX2_TARGET inline void ReadCornerByShape(const char* text, const CornerShape& shape,
                                                  const ShapeVectors& vectors, float& first,
                                                  float& second) {
    const __m256i gathered = _mm256_shuffle_epi8(
        _mm256_sub_epi8(
            _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(text + shape.numberStart[1]),
                                reinterpret_cast<const __m128i*>(text + shape.numberStart[0])),
            Load(vectors.zeros)),
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shape.numbers)));
    const __m256i eights =
        _mm256_madd_epi16(_mm256_packs_epi32(Fours(gathered, vectors), Fours(gathered, vectors)),
                          Load(vectors.eightWeights));
    // Low halves, then high halves.
    const __m128i halves = Low(_mm256_permutevar8x32_epi32(eights, Load(vectors.pairInOrder)));
    // At most 15 digits: the mantissas are exact, and so is each sum.
    const __m128d mantissas =
        _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(halves, halves)),
                              _mm_load_pd(vectors.hundredMillion.lanes)),
                   _mm_cvtepi32_pd(halves));
    // One of the two operations rounds, the other is exact.
    const __m128 values = _mm_cvtpd_ps(_mm_div_pd(
        _mm_mul_pd(mantissas, _mm_load_pd(shape.multipliers)), _mm_load_pd(shape.divisors)));
    first = _mm_cvtss_f32(values);
    second = _mm_cvtss_f32(_mm_movehdup_ps(values));
}

// Works out the shape of a UV corner from its bytes, when both numbers are of the kind it reads:
// digits and point, behind an optional sign, filling at most 15 bytes and holding at least one
// digit, then an optional exponent of one or two digits that leaves the value within an exact
// power of ten of its digits; the first followed by one space, the second by the end the bytes
// found. Returns false for bytes of any other kind.
BLOKTAR_AVX2_TARGET inline bool WorkOutCornerShape(const char* text, const CornerBytes& corner,
                                                   CornerShape& shape) {
    if (corner.key == 0) return false;
    std::uint32_t exponentDigits = 0;
    unsigned at = 0;
    for (unsigned k = 0; k < 2; ++k) {
        PlainNumber number;
        if (!ReadPlainNumber(text, corner.notDigit, at, number)) return false;
        unsigned stop = number.start + number.end;
        int scale = -static_cast<int>(number.Places());
        if ((text[stop] | 0x20) == 'e') {
            unsigned q = stop + 1;
            const bool down = text[q] == '-';
            if (text[q] == '-' || text[q] == '+') ++q;
            const unsigned first = q;
            int written = 0;
            while (IsDigit(text[q]) && q - first < 3) written = written * 10 + (text[q++] - '0');
            if (q == first || q - first > 2) return false;
            exponentDigits |= ((std::uint32_t{1} << (q - first)) - 1u) << first;
            scale += down ? -written : written;
            stop = q;
        }
        if (k == 0 ? text[stop] != ' ' : stop != corner.end) return false;
        if (scale < -number_detail::kLargestExactPower ||
            scale > number_detail::kLargestExactPower) {
            return false;
        }
        shape.numberStart[k] = number.start;
        shape.numbers[k] = number_detail::kRightAlignedDigits.at[number.whole][number.end];
        const double power = number_detail::kExactPowersOfTen[scale < 0 ? -scale : scale];
        shape.multipliers[k] = scale > 0 ? power : 1.0;
        shape.divisors[k] = (number.negative ? -1.0 : 1.0) * (scale < 0 ? power : 1.0);
        at = stop + 1;
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(shape.marks),
                        _mm256_andnot_si256(corner.digits, corner.bytes));
    for (unsigned i = 0; i < kCornerBytes; ++i) {
        if ((exponentDigits >> i & 1) != 0) shape.marks[i] = static_cast<std::uint8_t>(text[i]);
    }
    shape.checked = static_cast<std::uint32_t>(corner.key) | exponentDigits;
    shape.key = corner.key;
    return true;
}

BLOKTAR_AVX2_TARGET inline void NoteCornerShape(LineShapes& shapes, const CornerShape& shape) {
    CornerSlotFor(shapes, shape.key) = shape;
}

}  // namespace bloktar::line_shapes
#endif
