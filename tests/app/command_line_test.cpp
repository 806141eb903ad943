#include "app/command_line.h"

#include <QByteArray>
#include <QtGlobal>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>

namespace {

// Sets an environment variable for one test and puts back what was there.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const char* value)
        : m_name(name),
          m_old(qEnvironmentVariableIsSet(name) ? std::optional<QByteArray>(qgetenv(name))
                                                : std::nullopt) {
        qputenv(name, value);
    }
    ~EnvironmentValue() {
        if (m_old) {
            qputenv(m_name, *m_old);
        } else {
            qunsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

std::string LanguageFor(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), "Pelmora");
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    std::ostringstream out;
    std::ostringstream err;
    const auto request = ReadCommandLine(static_cast<int>(argv.size()), argv.data(), out, err);
    EXPECT_FALSE(request.exitCode) << err.str();
    return request.language;
}

} // namespace

TEST(LanguageOfLocale, EnglishLocalesGiveEnglishAndEveryOtherOneJapanese) {
    for (const char* english : {"en", "en_US.UTF-8", "en_GB", "en_IE@euro", "en.UTF-8"}) {
        EXPECT_EQ(LanguageOfLocale("", "", english), kEnglish) << english;
    }
    for (const char* other : {"C", "POSIX", "C.UTF-8", "ja_JP.UTF-8", "de_DE", "eo", "", "enx"}) {
        EXPECT_EQ(LanguageOfLocale("", "", other), kJapanese) << other;
    }
}

TEST(LanguageOfLocale, TheFirstVariableThatIsSetDecides) {
    EXPECT_EQ(LanguageOfLocale("C", "en_US.UTF-8", "en_US.UTF-8"), kJapanese);
    EXPECT_EQ(LanguageOfLocale("en_GB.UTF-8", "ja_JP.UTF-8", "ja_JP.UTF-8"), kEnglish);
    EXPECT_EQ(LanguageOfLocale("", "en_US.UTF-8", "ja_JP.UTF-8"), kEnglish);
    EXPECT_EQ(LanguageOfLocale("", "ja_JP.UTF-8", "en_US.UTF-8"), kJapanese);
    EXPECT_EQ(LanguageOfLocale("", "", "en_US.UTF-8"), kEnglish);
}

TEST(CommandLineLanguage, LangOptionThenVariableThenLocale) {
    EnvironmentValue all("LC_ALL", "");
    EnvironmentValue messages("LC_MESSAGES", "");
    EnvironmentValue locale("LANG", "en_US.UTF-8");
    EnvironmentValue chosen("PELMORA_LANG", "");
    EXPECT_EQ(LanguageFor({}), kEnglish);
    EXPECT_EQ(LanguageFor({"--lang", "ja"}), kJapanese);
    {
        EnvironmentValue japanese("PELMORA_LANG", "ja");
        EXPECT_EQ(LanguageFor({}), kJapanese);
        EXPECT_EQ(LanguageFor({"--lang", "en"}), kEnglish);
    }
    EnvironmentValue plain("LC_ALL", "C");
    EXPECT_EQ(LanguageFor({}), kJapanese);
}
