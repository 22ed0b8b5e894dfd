#include "RichText.h"

#include <algorithm>

namespace zelvar {

void RichText::append(std::u16string_view part, Marks marks) {
    if (part.empty()) return;
    text.append(part);
    if (!runs.empty() && runs.back().marks == marks) {
        runs.back().length += part.size();
    } else {
        runs.push_back({part.size(), marks});
    }
}

void RichText::append(char16_t unit, Marks marks) {
    append(std::u16string_view(&unit, 1), marks);
}

std::size_t EditingCapacity(std::size_t units) {
    return units + std::max<std::size_t>(std::size_t{1} << 20, units / 8);
}

MarkColor NearestMarkColor(int red, int green, int blue) {
    red = std::clamp(red, 0, 255);
    green = std::clamp(green, 0, 255);
    blue = std::clamp(blue, 0, 255);
    const int high = std::max({red, green, blue});
    const int low = std::min({red, green, blue});
    if (high - low < 64) return MarkColor::Black;
    // The hue, in sixths of the circle times the spread, without division:
    // red is nearest from 300 to 60 degrees, green from 60 to 180, blue from
    // 180 to 300.
    const int spread = high - low;
    int hue6;  // hue in degrees * spread / 60
    if (high == red) {
        hue6 = green - blue;  // -1..1 sixths around 0
        if (hue6 < 0) hue6 += 6 * spread;
    } else if (high == green) {
        hue6 = 2 * spread + (blue - red);
    } else {
        hue6 = 4 * spread + (red - green);
    }
    if (hue6 < spread || hue6 >= 5 * spread) return MarkColor::Red;
    if (hue6 >= 3 * spread) return MarkColor::Blue;
    return MarkColor::Black;
}

}  // namespace zelvar
