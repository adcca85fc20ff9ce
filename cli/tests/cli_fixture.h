// Running the built pictor-cli from tests: a fixture with a private directory, the program's
// outcome, and random raw images with their crops.
#pragma once

#include "mode_layout.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <sys/wait.h>

namespace cli_test {

struct Outcome {
    int status;
    std::string out;
    std::string err;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

class Cli : public ::testing::Test {
protected:
    Cli() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "pictor_cli_XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
    }
    ~Cli() override { std::filesystem::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    // `environment` goes before the command in the shell: NAME=VALUE words for its environment,
    // or commands that set its limits.
    Outcome Run(const std::string& arguments, const std::string& environment = "") const {
        const std::string out = Path("stdout.txt");
        const std::string err = Path("stderr.txt");
        const std::string command = environment + " " + std::string(PICTOR_CLI) + " " + arguments +
                                    " >" + out + " 2>" + err + " </dev/null";
        const int raw = std::system(command.c_str());
        return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadBytes(out), ReadBytes(err)};
    }

    // Runs a command that must succeed.
    void Ok(const std::string& arguments) const {
        const Outcome outcome = Run(arguments);
        ASSERT_EQ(outcome.status, 0) << arguments << "\n" << outcome.err;
    }

private:
    std::filesystem::path dir_;
};

// Random rows of a mode with every padding bit 0 and Gray32 words within 30 bits.
inline std::string RandomRaw(ImageMode mode, std::uint32_t width, std::uint32_t height,
                             std::uint32_t seed) {
    const ModeLayout& layout = *FindModeLayout(mode);
    const std::size_t rowBytes = RowBytes(layout.bitsPerPixel, width);
    std::mt19937 random(seed);
    std::string bytes(rowBytes * height, '\0');
    for (auto& b : bytes)
        b = static_cast<char>(random());
    const auto usedBits = static_cast<unsigned>(std::uint64_t{width} * layout.bitsPerPixel % 8);
    for (std::uint32_t y = 0; y < height; ++y) {
        char* row = bytes.data() + y * rowBytes;
        if (usedBits != 0) {
            const unsigned mask = layout.unitBits == 1 ? 0xFF00u >> usedBits : (1u << usedBits) - 1;
            row[rowBytes - 1] = static_cast<char>(row[rowBytes - 1] & mask);
        }
        if (mode == ModeGray32)
            for (std::size_t i = 3; i < rowBytes; i += 4)
                row[i] = static_cast<char>(row[i] & 0x3F);
    }
    return bytes;
}

inline std::string RawArgument(ImageMode mode, std::uint32_t width, std::uint32_t height) {
    return "--raw " + std::to_string(width) + "x" + std::to_string(height) + ":" +
           ImageModeName(mode);
}

// The rectangle of byte-aligned raw rows.
inline std::string CropRaw(const std::string& raw, std::size_t bytesPerPixel, std::uint32_t width,
                           std::uint32_t left, std::uint32_t top, std::uint32_t right,
                           std::uint32_t bottom) {
    std::string crop;
    for (std::uint32_t y = top; y < bottom; ++y)
        crop += raw.substr((std::size_t{y} * width + left) * bytesPerPixel,
                           std::size_t{right - left} * bytesPerPixel);
    return crop;
}

} // namespace cli_test
