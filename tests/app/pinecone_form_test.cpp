#include "app/client_options.h"
#include "app/ini_file.h"
#include "app/pinecone_form.h"
#include "app/str_to_int.h"
#include "base/exceptions.h"
#include "pinecone/pinecone_api.h"
#include "pinecone/pinecone_current_api.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace zor {
namespace {

namespace fs = std::filesystem;

std::string TempIni(const std::string& name, const std::string& text) {
  const fs::path path = fs::temp_directory_path() / ("zor_form_" + std::to_string(::getpid()) + "_" + name + ".ini");
  fs::remove(path);
  if (!text.empty()) std::ofstream(path) << text;
  return path.string();
}

TEST(PineconeForm, FieldsStartWithTheirInitialTexts) {
  TzorPineconeForm form;
  EXPECT_EQ(form.FieldText("txtCreateIndexName"), "zorindex");
  EXPECT_EQ(form.FieldText("txtCreateIndexDimensions"), "1536");
  EXPECT_EQ(form.FieldText("txtIndexConfigurePodtype"), "s1.x2");
  EXPECT_EQ(form.FieldText("txtCollectionsCreateName"), "zorcollection");
  EXPECT_EQ(form.FieldText("txtApiKey"), "");
  EXPECT_FALSE(form.HasPinecone());
  EXPECT_THROW(form.FieldText("txtNoSuchField"), Exception);
}

TEST(PineconeForm, FirstStartWithoutSettingsFile) {
  const std::string path = TempIni("first", "");
  TzorPineconeForm form;
  form.LoadSettings(TzorIniFile(path));
  EXPECT_EQ(form.FieldText("txtApiKey"), "");
  EXPECT_EQ(form.FieldText("txtEnvironment"), "us-west4-gcp-free");
  EXPECT_EQ(form.FieldText("txtVectorsIndexName"), "");  // the initial "zorindex" is overwritten
  EXPECT_EQ(form.FieldText("txtVectorsProjectId"), "");
  // The environment changed, so the component exists and follows it.
  ASSERT_TRUE(form.HasPinecone());
  EXPECT_EQ(form.Pinecone().PineconeOptions().Environment(), "us-west4-gcp-free");

  form.SaveSettings(TzorIniFile(path));
  const TzorIniFile saved(path);
  EXPECT_EQ(saved.ReadString("PINECONE", "ENVIRONMENT", "?"), "us-west4-gcp-free");
  EXPECT_EQ(saved.ReadString("PINECONE", "API_KEY", "?"), "");
  EXPECT_EQ(saved.ReadString("PINECONE.INDEX", "INDEX_NAME", "?"), "");
  EXPECT_EQ(saved.ReadString("PINECONE.INDEX", "PROJECT_ID", "?"), "");
  fs::remove(path);
}

TEST(PineconeForm, PresentButEmptyEnvironmentSignalsNothing) {
  const std::string path = TempIni("emptyenv", "[PINECONE]\nENVIRONMENT=\nAPI_KEY=\n");
  TzorPineconeForm form;
  int changes = 0;
  form.OnFieldChanged = [&](const TzorFormField&, const std::string&) { ++changes; };
  form.LoadSettings(TzorIniFile(path));
  EXPECT_EQ(form.FieldText("txtEnvironment"), "");
  // Only the index name changed ("zorindex" -> ""); no component was needed.
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(form.HasPinecone());
  EXPECT_EQ(form.Pinecone().PineconeOptions().Environment(), "us-west4-gcp-free");
  fs::remove(path);
}

TEST(PineconeForm, KeyChangesReachTheComponentAtEveryChange) {
  TzorPineconeForm form;
  form.SetFieldText("txtApiKey", "a");
  form.SetFieldText("txtApiKey", "ab");
  EXPECT_EQ(form.Pinecone().PineconeOptions().ApiKey(), "ab");
  form.SetFieldText("txtEnvironment", "eu-west1-gcp");
  EXPECT_EQ(form.Pinecone().PineconeOptions().Environment(), "eu-west1-gcp");
}

TEST(PineconeForm, ConversionFailureSendsNothingAndKeepsTheLog) {
  TzorPineconeForm form;
  form.DoLog("previous answer");
  form.SetFieldText("txtCreateIndexDimensions", "abc");
  try {
    form.btnCreateIndexClick();
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' is not a valid integer value");
  }
  form.SetFieldText("txtVectorsQueryVector", "[1, \"x\"]");
  try {
    form.btnVectorsQueryClick();
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid floating point value");
  }
  EXPECT_EQ(form.LogText(), "previous answer");
  // No request was attempted: nothing needed the component.
  EXPECT_FALSE(form.HasPinecone());
}

TEST(PineconeForm, CommandsByCaptionHandlerAndConsoleName) {
  // The window's fifteen, and the three that only the current API has.
  const auto commands = TzorPineconeForm::Commands();
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const auto& c) { return c.run != nullptr; }), 15);
  EXPECT_EQ(std::count_if(commands.begin(), commands.end(), [](const auto& c) { return c.run_current != nullptr; }), 18);
  const auto* stats = TzorPineconeForm::FindCommand("describe-index-stats");
  ASSERT_NE(stats, nullptr);
  EXPECT_STREQ(stats->caption, "Describe Index Stats");
  EXPECT_EQ(TzorPineconeForm::FindCommand("Collections List"), TzorPineconeForm::FindCommand("collections-list"));
  EXPECT_EQ(TzorPineconeForm::FindCommand("btnListCollectionsClick"), TzorPineconeForm::FindCommand("collections-list"));
  EXPECT_EQ(TzorPineconeForm::FindCommand("nope"), nullptr);
}

TEST(PineconeForm, ApiSwitchHasASettingsSectionOfItsOwn) {
  // A file of the four keys alone reads as before: the legacy API.
  const std::string path = TempIni("api", "[PINECONE]\nAPI_KEY=k\nENVIRONMENT=env\n");
  {
    TzorPineconeForm form;
    form.LoadSettings(TzorIniFile(path));
    EXPECT_FALSE(form.UsesCurrentApi());
    EXPECT_EQ(form.FieldText("txtCloud"), "aws");
    EXPECT_EQ(form.FieldText("txtRegion"), "us-east-1");
    form.SetFieldText(kApiField, kCurrentApi);
    form.SetFieldText("txtRegion", "eu-west-1");
    form.SaveSettings(TzorIniFile(path));
  }
  const TzorIniFile saved(path);
  EXPECT_EQ(saved.ReadString("PINECONE", "API_KEY", "?"), "k");
  EXPECT_EQ(saved.ReadString("PINECONE", "ENVIRONMENT", "?"), "env");
  EXPECT_EQ(saved.ReadString("PINECONE.API", "MODE", "?"), "current");
  EXPECT_EQ(saved.ReadString("PINECONE.API", "CLOUD", "?"), "aws");
  EXPECT_EQ(saved.ReadString("PINECONE.API", "REGION", "?"), "eu-west-1");
  {
    TzorPineconeForm form;
    form.LoadSettings(saved);
    EXPECT_TRUE(form.UsesCurrentApi());
    EXPECT_EQ(form.FieldText("txtRegion"), "eu-west-1");
  }
  // A switch this program does not know keeps the legacy API.
  saved.WriteString("PINECONE.API", "MODE", "future");
  TzorPineconeForm form;
  form.LoadSettings(saved);
  EXPECT_FALSE(form.UsesCurrentApi());
  EXPECT_THROW(form.SetFieldText(kApiField, "future"), Exception);
  EXPECT_EQ(form.FieldText(kApiField), "legacy");
  fs::remove(path);
}

TEST(PineconeForm, CommandsOfTheOtherApiAreRefused) {
  TzorPineconeForm form;
  form.DoLog("previous answer");
  try {
    form.Run(*TzorPineconeForm::FindCommand("namespaces-list"));
    FAIL();
  } catch (const Exception& e) {
    EXPECT_STREQ(e.what(), "\"Namespaces List\" needs the current API");
  }
  EXPECT_EQ(form.LogText(), "previous answer");
  EXPECT_EQ(TzorPineconeForm::FindCommand("list")->Scope(), TzorApiScope::Current);
  EXPECT_EQ(TzorPineconeForm::FindCommand("query")->Scope(), TzorApiScope::Both);
  EXPECT_EQ(FieldOptionName(kApiField), "api");
  EXPECT_TRUE(InScope(FindFormField("txtCloud")->scope, "current"));
  EXPECT_FALSE(InScope(FindFormField("txtCloud")->scope, "legacy"));
  EXPECT_FALSE(InScope(FindFormField("txtVectorsProjectId")->scope, "current"));
  EXPECT_TRUE(InScope(FindFormField("txtVectorsIndexName")->scope, "current"));
}

TEST(PineconeForm, CurrentComponentFollowsTheApiKey) {
  TzorPineconeForm form;
  form.SetFieldText("txtApiKey", "a");
  EXPECT_EQ(form.PineconeCurrent().PineconeOptions().ApiKey(), "a");
  form.SetFieldText("txtApiKey", "b");
  EXPECT_EQ(form.PineconeCurrent().PineconeOptions().ApiKey(), "b");
  EXPECT_EQ(form.Pinecone().PineconeOptions().ApiKey(), "b");
}

TEST(StrToInt, WholeDecimalTextIn32Bits) {
  EXPECT_EQ(StrToInt("1536"), 1536);
  EXPECT_EQ(StrToInt("-3"), -3);
  EXPECT_EQ(StrToInt(" +7"), 7);
  for (const char* bad : {"", "abc", "12a", "1.5", "2147483648", "3 "}) {
    EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
  }
}

TEST(ClientOptions, FieldsCommandsAndErrors) {
  const auto options = ParseClientOptions(
      {"--local", "--api-key", "k", "--vectors-project-id=p1", "--settings", "/tmp/x.ini", "indexes-list", "Query"});
  EXPECT_TRUE(options.local);
  EXPECT_EQ(options.settings_path, "/tmp/x.ini");
  ASSERT_EQ(options.fields.size(), 2u);
  EXPECT_EQ(options.fields[0], (std::pair<std::string, std::string>{"txtApiKey", "k"}));
  EXPECT_EQ(options.fields[1], (std::pair<std::string, std::string>{"txtVectorsProjectId", "p1"}));
  EXPECT_EQ(options.commands, (std::vector<std::string>{"indexes-list", "Query"}));
  EXPECT_THROW(ParseClientOptions({"--no-such-field", "x"}), Exception);
  EXPECT_THROW(ParseClientOptions({"--api-key"}), Exception);
  EXPECT_THROW(ParseClientOptions({"frobnicate"}), Exception);
  EXPECT_NE(ClientUsage("zorpinecone-cli", "/cfg/zorpinecone.ini").find("/cfg/zorpinecone.ini"), std::string::npos);
}

}  // namespace
}  // namespace zor
