#pragma once
// The load of a reading relative to the sensor's installation offset, and the temperature
// as a number: the two values the plots draw. Pure functions, no widgets, no database.
#include <QString>
#include <QStringView>
#include <optional>

namespace rv {

// The installation offset as the loads use it: the leading-number value of the text shown
// in the offset box, narrowed to single precision (an offset of "0.10" is
// 0.100000001490116...). An empty or non-numeric text gives 0.
double installationOffset(const QString& offsetText);

// The load of a reading in tons: 0 when Channel1 is Null (no value) or the empty text,
// otherwise the leading-number value of Channel1 less the offset, in double precision.
// "12.50" with the offset of "0.10" gives 12.399999998509884. The result may be infinite
// for an absurd text such as "1e999": the caller decides what such a value becomes.
double loadAfterOffset(std::optional<QStringView> channel1, double offset);

// The temperature of a reading in degrees C: 0 when ChannelT is Null or the empty text,
// otherwise its leading-number value. No offset applies.
double temperatureValue(std::optional<QStringView> channelT);

} // namespace rv
