// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/svg_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>

namespace sim {
namespace {

constexpr double kMarginMm = 10.0;

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

struct TBounds {
    double MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
};

TBounds BoundsOf(const std::deque<TCut>& cuts) {
    TBounds bounds;
    for (const TCut& cut : cuts) {
        for (const TPointMm& point : cut.PathMm) {
            bounds.MinX = std::min(bounds.MinX, point.X);
            bounds.MaxX = std::max(bounds.MaxX, point.X);
            bounds.MinY = std::min(bounds.MinY, point.Y);
            bounds.MaxY = std::max(bounds.MaxY, point.Y);
        }
    }
    return bounds;
}

// SVG counts Y downwards; the drawing flips it so it looks as the media does.
std::string PathData(const TCut& cut) {
    std::string data;
    for (const TPointMm& point : cut.PathMm) {
        data += (data.empty() ? "M" : " L") + Number(point.X) + " " + Number(0.0 - point.Y);
    }
    return cut.Closed ? data + " Z" : data;
}

std::string Label(const TCut& cut, std::size_t number) {
    double left = std::numeric_limits<double>::max();
    double top = std::numeric_limits<double>::lowest();
    for (const TPointMm& point : cut.PathMm) {
        left = std::min(left, point.X);
        top = std::max(top, point.Y);
    }
    return "  <text x=\"" + Number(left) + "\" y=\"" + Number(0.0 - top - 1.5) +
           "\" font-size=\"4\" font-family=\"sans-serif\">#" + std::to_string(number) + " " +
           FormatMillimetres(cut.WidthMm) + " x " + FormatMillimetres(cut.HeightMm) +
           " mm</text>\n";
}

} // namespace

std::string RenderCutsSvg(const std::deque<TCut>& cuts) {
    const TBounds bounds = BoundsOf(cuts);
    const double left = bounds.MinX - kMarginMm;
    const double top = -bounds.MaxY - kMarginMm;
    const double width = bounds.MaxX - bounds.MinX + 2 * kMarginMm;
    const double height = bounds.MaxY - bounds.MinY + 2 * kMarginMm;
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
                      Number(width) + "mm\" height=\"" + Number(height) + "mm\" viewBox=\"" +
                      Number(left) + " " + Number(top) + " " + Number(width) + " " +
                      Number(height) + "\">\n" + "  <rect x=\"" + Number(left) + "\" y=\"" +
                      Number(top) + "\" width=\"" + Number(width) + "\" height=\"" +
                      Number(height) + "\" fill=\"white\"/>\n";
    std::size_t number = 0;
    for (const TCut& cut : cuts) {
        ++number;
        svg += "  <path d=\"" + PathData(cut) +
               "\" fill=\"none\" stroke=\"black\" stroke-width=\"0.3\"/>\n";
        if (cut.Closed) {
            svg += Label(cut, number);
        }
    }
    return svg + "</svg>\n";
}

bool WriteCutsSvg(const std::string& path, const std::deque<TCut>& cuts, std::string& error) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file << RenderCutsSvg(cuts);
        if (!file.flush()) {
            error = "cannot write " + temporary;
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "cannot replace " + path + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace sim
