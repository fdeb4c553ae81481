// The inspector's pictures open in a browser: headless Chromium renders them to PNG files, whose
// pixels show the boxes in their shades and, where a block has a problem, red.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "support/png.hpp"
#include "support/process.hpp"

using namespace testing_support;

namespace {

// The full path of an executable found in PATH, or an empty string.
std::string FindInPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream directories(path != nullptr ? path : "");
    for (std::string directory; std::getline(directories, directory, ':');) {
        const std::string candidate = directory + "/" + name;
        if (!directory.empty() && access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return "";
}

// Renders the SVG file to a PNG file of the picture's size with a fresh browser profile.
// Returns the PNG's bytes (empty when nothing was written).
std::string Render(const std::string& chromium, const std::string& svg, const std::string& png) {
    const std::string profile = MakeTempDir();
    const ProgramRun run =
        RunCommand({"timeout", "120", chromium, "--headless", "--no-sandbox", "--disable-gpu",
                    "--disable-quic", "--no-first-run", "--disable-background-networking",
                    "--disable-component-update", "--disable-sync", "--disable-dev-shm-usage",
                    "--hide-scrollbars", "--user-data-dir=" + profile, "--screenshot=" + png,
                    "--window-size=800,600", "file://" + std::filesystem::absolute(svg).string()},
                   "", profile);
    EXPECT_EQ(run.status, 0) << "chromium ended with status " << run.status;
    return FileExists(png) ? ReadFile(png) : std::string();
}

bool IsRed(const Rgb& p) {
    return p.r >= 200 && p.g <= 60 && p.b <= 60;
}

std::map<std::string, std::size_t> ColourCounts(const Image& image) {
    std::map<std::string, std::size_t> counts;
    for (const Rgb& p : image.pixels) {
        char name[8];
        std::snprintf(name, sizeof name, "#%02x%02x%02x", p.r, p.g, p.b);
        ++counts[name];
    }
    return counts;
}

#ifdef BLOKTAR_READS_PNG
constexpr bool kReadsPng = true;
#else
constexpr bool kReadsPng = false;
#endif

}  // namespace

#ifndef BLOKTAR_READS_PNG
// Built without zlib: the tests skip before they would read a picture.
std::string testing_support::DecodePng(const std::string&, Image&) {
    return "not built with zlib";
}
#endif

#define SKIP_WITHOUT_CHROMIUM(chromium)                                                       \
    if ((chromium).empty()) {                                                                 \
        GTEST_SKIP() << "chromium is not installed, so the picture was not rendered "         \
                        "(scripts/install-deps render installs it)";                          \
    }                                                                                         \
    if (!kReadsPng) {                                                                         \
        GTEST_SKIP() << "zlib was not found when the tests were configured, so the rendered " \
                        "picture cannot be read (scripts/install-deps render installs it)";   \
    }

TEST(InspectorRender, SamplePictureRendersWithEveryBoxShaded) {
    const std::string chromium = FindInPath("chromium");
    SKIP_WITHOUT_CHROMIUM(chromium);
    const std::string dir = MakeTempDir();
    std::filesystem::copy_file(SourcePath("examples/sample.mqo"), dir + "/sample.mqo");
    ASSERT_EQ(RunInspector({"sample.mqo", "--svg", "sample.svg"}, dir).status, 0);

    const std::string png = Render(chromium, dir + "/sample.svg", dir + "/sample.png");
    Image image;
    ASSERT_EQ(DecodePng(png, image), "");
    EXPECT_EQ(image.width, 800u);
    EXPECT_EQ(image.height, 600u);
    // The faces facing the viewer in their shades: floor.bmp's colour (127, 168, 201) on top at
    // 0.8898, wall.bmp's (200, 168, 120) on the sides at 0.6739 (+z) and 0.5119 (+x). Each
    // covers a good part of the picture; nothing is red.
    const auto counts = ColourCounts(image);
    for (const char* shade : {"#7195b3", "#877151", "#66563d"}) {
        SCOPED_TRACE(shade);
        ASSERT_TRUE(counts.contains(shade));
        EXPECT_GT(counts.at(shade), 800u * 600u / 20);
    }
    EXPECT_EQ(std::count_if(image.pixels.begin(), image.pixels.end(), IsRed), 0);
}

TEST(InspectorRender, ProblemBlocksShowInRed) {
    const std::string chromium = FindInPath("chromium");
    SKIP_WITHOUT_CHROMIUM(chromium);
    // Our example with two broken boxes.
    const std::string dir = MakeTempDir();
    std::filesystem::copy_file(SourcePath("examples/broken.mqo"), dir + "/broken.mqo");
    ASSERT_EQ(RunInspector({"broken.mqo", "--svg", "broken.svg"}, dir).status, 2);

    const std::string png = Render(chromium, dir + "/broken.svg", dir + "/broken.png");
    Image image;
    ASSERT_EQ(DecodePng(png, image), "");
    // Two 3-pixel outlines around silhouettes some hundreds of pixels across, and the numbers.
    EXPECT_GT(std::count_if(image.pixels.begin(), image.pixels.end(), IsRed), 2000);
}
