#include "platform/qt/LocaleDateParser.h"

#include <QDate>

namespace sentrel {

std::optional<LocalDateTime> ParseShortDate(std::string_view text, const QLocale& locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    QDate date = locale.toDate(QString::fromUtf8(text.data(), qsizetype(text.size())), format);
    if (!date.isValid())
        return std::nullopt;
    const bool twoDigitYear = format.contains(QLatin1String("yy")) && !format.contains(QLatin1String("yyyy"));
    if (twoDigitYear && date.year() < 1970)
        date = date.addYears(100);
    LocalDateTime result;
    result.year = date.year();
    result.month = date.month();
    result.day = date.day();
    return result;
}

} // namespace sentrel
