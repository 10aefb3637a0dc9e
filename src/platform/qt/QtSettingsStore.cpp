#include "platform/qt/QtSettingsStore.h"

namespace sentrel {

namespace {
QString Key(std::string_view name)
{
    return QString::fromUtf8(name.data(), qsizetype(name.size()));
}
} // namespace

QtSettingsStore::QtSettingsStore()
    : settings_(QSettings::UserScope, QStringLiteral("Corvane Software"), QStringLiteral("Sentrel"))
{
}

std::string QtSettingsStore::ReadSetting(std::string_view name)
{
    const QVariant value = settings_.value(Key(name));
    return value.isValid() ? value.toString().toStdString() : std::string();
}

void QtSettingsStore::WriteSetting(std::string_view name, std::string_view value)
{
    settings_.setValue(Key(name), QString::fromUtf8(value.data(), qsizetype(value.size())));
    // The process ends right after the exit's writes, without unwinding.
    settings_.sync();
}

} // namespace sentrel
