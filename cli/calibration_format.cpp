// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/calibration_format.h"

#include "cli/terminal_text.h"
#include "toolkit/conversions.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace cli {

namespace {

// To a tenth, as the decision to keep an axis compares it: "0.6 steps", "1.0 step".
std::string StepsText(double steps) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", steps);
    return text + std::string(std::string_view(text) == "1.0" ? " step" : " steps");
}

std::string UncertaintyText(const protocol::TUncertainty& expanded, double steps) {
    return "+/- " + StepsText(steps) + " (" + RoundedText(expanded.Percent()) + " %, " +
           RoundedText(expanded.Millimetres) + " mm)";
}

QJsonObject UncertaintyObject(const protocol::TUncertainty& expanded, double steps) {
    return {{"mm", expanded.Millimetres}, {"percent", expanded.Percent()}, {"steps", steps}};
}

std::string JsonLine(QJsonObject object, const std::string& port) {
    object.insert("port", QString::fromStdString(port));
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

std::string SizeText(const protocol::TCalibrationPlan& plan) {
    return toolkit::FloatToStr(plan.X.TestMm) + "x" + toolkit::FloatToStr(plan.Y.TestMm);
}

std::string PlanAxisLine(const char* axis, const protocol::TPlanAxis& plan, std::int32_t scale) {
    return std::string("Scale ") + axis + ": " + std::to_string(scale) + " " +
           UncertaintyText(plan.Expanded, plan.ExpandedSteps) +
           (plan.ReachesOneStep ? "" : ", the longest test the media allows") + "\n";
}

} // namespace

std::string RoundedText(double value) {
    constexpr int kMostDecimals = 6;
    const int decimals =
        value > 0 ? std::clamp(static_cast<int>(-std::floor(std::log10(value))), 2, kMostDecimals)
                  : 2;
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

std::string FormatPlan(const protocol::TCalibrationPlan& plan,
                       const protocol::CutterSettings& settings, double resolutionMm,
                       const std::string& port, TOutputStyle style) {
    const std::string prefix = "tessaro-query --port " + port;
    const std::string cut = prefix + " test-cut --size " + SizeText(plan);
    const std::string resolution = resolutionMm == protocol::kDefaultResolutionMm
                                       ? ""
                                       : " --resolution " + toolkit::FloatToStr(resolutionMm);
    const std::string calibrate = prefix + " calibrate --test " + SizeText(plan) + resolution +
                                  " --measured WxH --measured WxH --measured WxH";
    if (style == osJson) {
        return JsonLine(
            {{"test_size_mm", QJsonObject{{"x", plan.X.TestMm}, {"y", plan.Y.TestMm}}},
             {"resolution_mm", resolutionMm},
             {"uncertainty",
              QJsonObject{{"x", UncertaintyObject(plan.X.Expanded, plan.X.ExpandedSteps)},
                          {"y", UncertaintyObject(plan.Y.Expanded, plan.Y.ExpandedSteps)}}},
             {"reaches_one_step",
              QJsonObject{{"x", plan.X.ReachesOneStep}, {"y", plan.Y.ReachesOneStep}}},
             {"test_cut", QString::fromStdString(cut)},
             {"calibrate", QString::fromStdString(calibrate)}},
            port);
    }
    return TerminalText("Test size: " + toolkit::FloatToStr(plan.X.TestMm) + " x " +
                            toolkit::FloatToStr(plan.Y.TestMm) + " mm, read to " +
                            toolkit::FloatToStr(resolutionMm) + " mm\n" +
                            PlanAxisLine("X", plan.X, settings.ScaleX) +
                            PlanAxisLine("Y", plan.Y, settings.ScaleY) + "Cut it: " + cut +
                            "\nMeasure each side three times: " + calibrate + "\n",
                        lbKept);
}

std::string FormatCalibration(const TCalibrationResult& result,
                              const protocol::CutterSettings& settings, const std::string& port,
                              TOutputStyle style) {
    const auto& [x, y] = result;
    if (style == osJson) {
        return JsonLine(
            {{"scale_x", settings.ScaleX},
             {"scale_y", settings.ScaleY},
             {"uncertainty",
              QJsonObject{{"x", UncertaintyObject(x.Expanded, x.Correction.ExpandedSteps)},
                          {"y", UncertaintyObject(y.Expanded, y.Correction.ExpandedSteps)}}},
             {"written", QJsonObject{{"x", !x.Correction.Kept}, {"y", !y.Correction.Kept}}}},
            port);
    }
    const auto line = [](const char* axis, std::int32_t value, const TAxisCalibration& axisOf) {
        return std::string("Scale ") + axis + ": " + std::to_string(value) + " " +
               UncertaintyText(axisOf.Expanded, axisOf.Correction.ExpandedSteps) +
               (axisOf.Correction.Kept
                    ? " kept: the measurement gives " + std::to_string(axisOf.Correction.Computed)
                    : "") +
               "\n";
    };
    std::string lines = line("X", settings.ScaleX, x) + line("Y", settings.ScaleY, y);
    if (x.Correction.Kept && y.Correction.Kept) {
        lines += "X and Y already within +/- " +
                 RoundedText(std::max(x.Expanded.Percent(), y.Expanded.Percent())) +
                 " % of the measurement: nothing written\n";
    }
    return lines;
}

} // namespace cli
