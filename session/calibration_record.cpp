// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/calibration_record.h"

#include <QJsonArray>

namespace session {

namespace {

QJsonObject Pair(const TPlotterSize& pair) {
    return {{"x", pair.X}, {"y", pair.Y}};
}

TPlotterSize PairOf(const QJsonValue& value) {
    return {value["x"].toDouble(), value["y"].toDouble()};
}

QJsonArray Numbers(const std::vector<double>& numbers) {
    QJsonArray array;
    for (const double number : numbers) {
        array.append(number);
    }
    return array;
}

std::vector<double> NumbersOf(const QJsonValue& value) {
    std::vector<double> numbers;
    for (const QJsonValue& number : value.toArray()) {
        numbers.push_back(number.toDouble());
    }
    return numbers;
}

} // namespace

QJsonObject CalibrationObject(const TCalibrationRecord& record) {
    return {{"readings_mm",
             QJsonObject{{"x", Numbers(record.ReadingsXMm)}, {"y", Numbers(record.ReadingsYMm)}}},
            {"resolution_mm", record.ResolutionMm},
            {"uncertainty_mm", Pair(record.UncertaintyMm)},
            {"uncertainty_percent", Pair(record.UncertaintyPercent)},
            {"media_type", QString::fromStdString(record.MediaType)},
            {"media_weight", QString::fromStdString(record.MediaWeight)}};
}

std::optional<TCalibrationRecord> CalibrationOf(const QJsonValue& value) {
    if (!value.isObject()) {
        return std::nullopt;
    }
    return TCalibrationRecord{NumbersOf(value["readings_mm"]["x"]),
                              NumbersOf(value["readings_mm"]["y"]),
                              value["resolution_mm"].toDouble(),
                              PairOf(value["uncertainty_mm"]),
                              PairOf(value["uncertainty_percent"]),
                              value["media_type"].toString().toStdString(),
                              value["media_weight"].toString().toStdString()};
}

} // namespace session
