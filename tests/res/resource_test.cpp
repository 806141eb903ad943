#include "panel/resource.h"

#include <QPixmap>
#include <QString>
#include <gtest/gtest.h>
#include <initializer_list>

namespace {

TEST(ResourceTest, LoadsTheAboutEntrysTextByItsIdAndOffersItForTranslation) {
    EXPECT_EQ(LoadResourceString(IDS_ABOUTBOX), QStringLiteral("バージョン情報 Pelmora(&A)..."));
    EXPECT_EQ(TranslatableStringTableTexts(),
              std::vector<QString>{LoadResourceString(IDS_ABOUTBOX)});
}

TEST(ResourceTest, IdsOfOtherKindsOrOfNothingLoadNothing) {
    for (const int id : std::initializer_list<int>{0, IDD_ABOUTBOX, IDR_MAINFRAME, IDB_LAMP_ON}) {
        EXPECT_TRUE(LoadResourceString(id).isEmpty()) << id;
    }
    for (const int id : std::initializer_list<int>{0, IDR_MAINFRAME, IDS_ABOUTBOX}) {
        EXPECT_TRUE(LoadBitmapResource(id).isNull()) << id;
    }
}

TEST(ResourceTest, VersionIsTheProjectsVersion) {
    EXPECT_STREQ(kVersionText, PELMORA_PROJECT_VERSION);
}

} // namespace
