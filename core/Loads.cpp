#include "core/Loads.h"
#include "core/NumberText.h"

namespace rv {

double installationOffset(const QString& offsetText) {
    // The offset is held as a single-precision number; the narrowing is deliberate and
    // part of the stored loads.
    return double(static_cast<float>(leadingNumber(offsetText)));
}

double loadAfterOffset(std::optional<QStringView> channel1, double offset) {
    if (!channel1 || channel1->isEmpty()) return 0.0;
    return leadingNumber(channel1->toString()) - offset;
}

double temperatureValue(std::optional<QStringView> channelT) {
    if (!channelT || channelT->isEmpty()) return 0.0;
    return leadingNumber(channelT->toString());
}

} // namespace rv
