#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelvar {

// The package types the decoder can be told to analyse, in the order in which
// the store reads and writes their flags. Every flag is stored under its own
// two-character name.
inline constexpr std::array<std::string_view, 17> kTypeFlagNames = {
    "03", "05", "07", "08", "09", "10", "11", "24", "44",
    "0B", "0D", "6C", "8C", "B4", "EC", "F4", "FC"};

inline constexpr int kPortCount = 4;

// Index of a type flag in kTypeFlagNames for a package's type byte, or
// nothing when that type byte has no flag of its own.
constexpr std::optional<std::size_t> typeFlagIndex(std::uint8_t typeByte) {
    constexpr std::array<std::uint8_t, 17> bytes = {0x03, 0x05, 0x07, 0x08, 0x09, 0x10,
                                                    0x11, 0x24, 0x44, 0x0B, 0x0D, 0x6C,
                                                    0x8C, 0xB4, 0xEC, 0xF4, 0xFC};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == typeByte) return i;
    }
    return std::nullopt;
}

// All user settings of the program, with their first-run defaults. The
// per-port arrays are indexed by port - 1.
struct Settings {
    std::array<std::string, kPortCount> IP = {"192.168.10.1", "192.168.11.1", "192.168.12.1",
                                              "192.168.13.1"};
    std::array<std::string, kPortCount> Port = {"4064", "4064", "4064", "4064"};

    // Flags in the order of kTypeFlagNames; only type 10 ("Syn") starts off.
    std::array<bool, 17> typeFlags = {true, true, true, true, true, false, true, true, true,
                                      true, true, true, true, true, true,  true, true};
    bool IDFilter = true;
    bool AutoSave = true;
    bool HexLog = true;
    bool Editor = true;

    bool mwMaximized = false;
    int fWidth = 875;
    int fHeight = 300;
    int fTop = 100;
    int fLeft = 100;
    int mHeight = 60;

    bool ewMaximized = false;
    int eWidth = 850;
    int eHeight = 250;
    int eTop = 150;
    int eLeft = 100;

    bool NewFileEvery65535 = true;  // stored as "65535"
    std::string PType = "0B";
    std::string PByte = "4";

    std::array<int, kPortCount> RSSICorrection = {0, 0, 0, 0};
    std::array<int, kPortCount> MaxRSSI = {-60, -60, -60, -60};

    bool OnlyRSSI = false;
    int GMTCorrection = 4;
    int TimeOut = 60;
    std::string numCom;

    bool typeFlag(std::string_view name) const {
        for (std::size_t i = 0; i < kTypeFlagNames.size(); ++i) {
            if (kTypeFlagNames[i] == name) return typeFlags[i];
        }
        return false;
    }
    void setTypeFlag(std::string_view name, bool on) {
        for (std::size_t i = 0; i < kTypeFlagNames.size(); ++i) {
            if (kTypeFlagNames[i] == name) typeFlags[i] = on;
        }
    }
    // Whether packages with this type byte are to be analysed.
    bool typeEnabled(std::uint8_t typeByte) const {
        const auto index = typeFlagIndex(typeByte);
        return index && typeFlags[*index];
    }
};

}  // namespace zelvar
