#include "utils/LanguageNames.h"

#include "testsupport/TestFolder.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <stdexcept>

namespace {

using Codes = std::set<std::string>;

TEST(LanguageNamesTest, EveryListedCodeWithItsOwnName)
{
    std::string codes;
    for (const auto& row : g_language_names)
        codes += row.first + " ";
    EXPECT_EQ(codes,
              "aa ab ae af ak am an ar as av ay az ba be bg bh bi bm bn bo br bs ca ce ch co cr cs cu cv cy da de dv dz "
              "ee el en eo es et eu fa ff fi fj fo fr fy ga gd gl gn gu gv ha he hi ho hr ht hu hy hz ia id ie ig ii ik "
              "io is it iu ja jv ka kg ki kj kk kl km kn ko kr ks ku kv kw ky la lb lg li ln lo lt lu lv mg mh mi mk ml "
              "mn mr ms mt my na nb nd ne ng nl nn no nr nv ny oc oj om or os pa pi pl ps pt qu rm rn ro ru rw sa sc sd "
              "se sg si sk sl sm sn so sq sr ss st su sv sw ta te tg th ti tk tl tn to tr ts tt tw ty ug uk ur uz ve vi "
              "vo wa wo xh yi yo za zh zu ");

    const std::pair<const char*, const char*> rows[] = {
        {"ab", "аҧсуа бызшәа, аҧсшәа"}, {"de", "Deutsch"}, {"en", "English"}, {"es", "español, castellano"},
        {"fr", "français, langue française"}, {"ja", "日本語 (にほんご)"}, {"nb", "Norsk bokmål"},
        {"nn", "Norsk nynorsk"}, {"no", "Norsk"}, {"ru", "Русский"}, {"za", "Saɯ cueŋƅ, Saw cuengh"},
        {"zh", "中文 (Zhōngwén), 汉语, 漢語"},
    };
    for (const auto& [code, name] : rows)
        EXPECT_EQ(lang_code_to_name(code), name) << code;
    for (const char* unknown : {"EN", "xx"}) {
        try {
            lang_code_to_name(unknown);
            ADD_FAILURE() << unknown;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), "unknown lang code");
        }
    }
}

TEST(TranslationFilesTest, CodesOfTheFolderItsI18nAndItsResources)
{
    TestFolder folder;
    for (const char* sub_folder : {"app/i18n", "flat", "bundle/bin", "bundle/Resources/i18n", "other/ramlocore-fr.qm"})
        std::filesystem::create_directories(folder.Path(sub_folder));
    for (const char* file : {"app/i18n/ramlocore-de.qm", "app/i18n/ramlocore-ru.qm", "flat/ramlocore-de.qm",
                             "flat/ramlocore-ru.qm", "bundle/Resources/i18n/ramlocore-DE.qm",
                             "bundle/Resources/i18n/ramlocore-en.qm", "other/ramlocore-deu.qm",
                             "other/ramlocore-fr.qm.bak"})
        folder.Write(file, "");
    const auto available = [&](const std::string& sub_folder) {
        return i18n_codes_available(folder.Path(sub_folder).c_str());
    };
    testing::internal::CaptureStderr();
    EXPECT_EQ(available("app"), (Codes{"de", "en", "ru"}));
    EXPECT_EQ(available("flat"), (Codes{"de", "en", "ru"}));
    EXPECT_EQ(available("bundle/bin"), (Codes{"DE", "en"}));
    EXPECT_EQ(available("other"), Codes{"en"});
    EXPECT_EQ(available("missing"), Codes{"en"});
    EXPECT_EQ(i18n_codes_available(nullptr), Codes{"en"});
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

    testing::internal::CaptureStderr();
    EXPECT_EQ(available(std::string(5000, 'x')), Codes{"en"}); // too long a name for the system
    EXPECT_THAT(testing::internal::GetCapturedStderr(), testing::HasSubstr("WARNING: i18n_codes_available error, "));
}

} // namespace
