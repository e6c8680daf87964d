#include "lib/TransferRate.h"

#include <QLocale>

#include <algorithm>

#include "lib/Text.h"

namespace vorn {

void CTransferRate::Start(std::uint64_t sent) {
    m_start = sent;
    m_clock.start();
}

double CTransferRate::BytesPerSecond(std::uint64_t sent) const {
    if (!m_clock.isValid())
        return 0;
    const double seconds = static_cast<double>(std::max<qint64>(m_clock.elapsed(), 1)) / 1000.0;
    return static_cast<double>(sent - std::min(sent, m_start)) / seconds;
}

int CTransferRate::SecondsLeft(std::uint64_t sent, std::uint64_t size) const {
    const double rate = BytesPerSecond(sent);
    if (rate <= 0)
        return -1;
    return static_cast<int>(static_cast<double>(size - std::min(size, sent)) / rate + 0.5);
}

std::string TransferProgressText(std::uint64_t sent, std::uint64_t size,
                                 const CTransferRate& rate) {
    const QLocale c = QLocale::c();
    const auto bytes = [&](double n) {
        return c.formattedDataSize(static_cast<qint64>(n)).toStdString();
    };
    const int left = rate.SecondsLeft(sent, size);
    const std::string time = left < 0 ? "?" : std::to_string(left) + " s";
    return FormatStr(9400, bytes(static_cast<double>(sent)).c_str(),
                     bytes(static_cast<double>(size)).c_str(),
                     bytes(rate.BytesPerSecond(sent)).c_str(), time.c_str());
}

}  // namespace vorn
