// Drives the window as a user would, on Qt's offscreen platform, against the
// local service.
#include "app/ini_file.h"
#include "app/local_service.h"
#include "app/window/main_window.h"
#include "pinecone/pinecone_api.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <filesystem>

namespace zor {
namespace {

namespace fs = std::filesystem;

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = (fs::temp_directory_path() /
             ("zor_window_" + std::to_string(::getpid()) + "_" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini"))
                .string();
    fs::remove(path_);
  }
  void TearDown() override { fs::remove(path_); }

  // Replaces the text of a box by typing, as a user would.
  static void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
  }

  std::string path_;
};

TEST_F(WindowTest, LayoutCaptionsAndInitialTexts) {
  const TzorIniFile settings(path_);
  TfrmOpenAI window(settings);
  EXPECT_EQ(window.windowTitle(), "zorPinecone API - Ovelant Software");
  ASSERT_EQ(window.Pages()->count(), 3);
  EXPECT_EQ(window.Pages()->tabText(0), "Indexes");
  EXPECT_EQ(window.Pages()->tabText(1), "Vectors");
  EXPECT_EQ(window.Pages()->tabText(2), "Collections");
  EXPECT_EQ(window.Pages()->currentIndex(), 0);
  EXPECT_EQ(window.Edit("txtApiKey")->echoMode(), QLineEdit::Password);
  EXPECT_EQ(window.Edit("txtEnvironment")->text(), "us-west4-gcp-free");
  EXPECT_EQ(window.Edit("txtVectorsIndexName")->text(), "");  // overwritten by the settings default
  EXPECT_EQ(window.Edit("txtCreateIndexDimensions")->text(), "1536");
  for (const auto& command : TzorPineconeForm::Commands()) {
    EXPECT_EQ(window.Button(command.caption)->text(), command.caption);
  }
}

TEST_F(WindowTest, TypingUpdatesTheComponentAndExitWritesTheFourKeys) {
  {
    const TzorIniFile settings(path_);
    TfrmOpenAI window(settings);
    Type(window.Edit("txtApiKey"), "secret");
    EXPECT_EQ(window.Form().Pinecone().PineconeOptions().ApiKey(), "secret");
    Type(window.Edit("txtVectorsProjectId"), "p1");
    Type(window.Edit("txtCreateIndexName"), "not-saved");
  }
  const TzorIniFile saved(path_);
  EXPECT_EQ(saved.ReadString("PINECONE", "API_KEY", "?"), "secret");
  EXPECT_EQ(saved.ReadString("PINECONE", "ENVIRONMENT", "?"), "us-west4-gcp-free");
  EXPECT_EQ(saved.ReadString("PINECONE.INDEX", "INDEX_NAME", "?"), "");
  EXPECT_EQ(saved.ReadString("PINECONE.INDEX", "PROJECT_ID", "?"), "p1");
}

TEST_F(WindowTest, EveryButtonAgainstTheLocalService) {
  const TzorIniFile settings(path_);
  TfrmOpenAI window(settings);
  std::vector<QString> errors;
  window.ShowError = [&](const QString& text) { errors.push_back(text); };
  TzorLocalPinecone local;
  local.Attach(window.Form());
  const auto press = [&](const char* caption) {
    QTest::mouseClick(window.Button(caption), Qt::LeftButton);
    return window.Log()->toPlainText();
  };

  EXPECT_EQ(press("Indexes List"), "[]");
  Type(window.Edit("txtCreateIndexDimensions"), "3");
  press("Create Index");
  EXPECT_TRUE(press("Indexes List").contains("zorindex"));
  EXPECT_TRUE(press("Index Describe").contains("\"dimension\":3"));
  press("Index Configure");
  EXPECT_TRUE(press("Index Describe").contains("\"replicas\":3"));

  Type(window.Edit("txtVectorsIndexName"), "zorindex");
  Type(window.Edit("txtVectorsUpsertVectorId"), "v1");
  Type(window.Edit("txtVectorsUpsertVector"), "[1, 0, 0]");
  EXPECT_TRUE(press("Upsert").contains("\"upsertedCount\":1"));
  Type(window.Edit("txtVectorsUpsertVectorId"), "v2");
  Type(window.Edit("txtVectorsUpsertVector"), "[0, 1, 0]");
  press("Upsert");
  Type(window.Edit("txtVectorsQueryVector"), "[0.1, 0.9, 0]");
  const QString query = press("Query");
  EXPECT_TRUE(query.contains("\"id\":\"v2\"")) << query.toStdString();
  EXPECT_FALSE(query.contains("\"id\":\"v1\"")) << query.toStdString();  // topK 1
  Type(window.Edit("txtVectorsFetchVectorId"), "v1");
  EXPECT_TRUE(press("Fetch").contains("\"v1\""));
  Type(window.Edit("txtVectorsUpdateVectorId"), "v1");
  Type(window.Edit("txtVectorsUpdateVector"), "[0, 0, 1]");
  press("Update");
  EXPECT_TRUE(press("Describe Index Stats").contains("totalVectorCount"));
  Type(window.Edit("txtVectorsDeleteVectorId"), "v2");
  press("Delete");
  Type(window.Edit("txtVectorsFetchVectorId"), "v2");
  EXPECT_FALSE(press("Fetch").contains("\"v2\""));

  press("Create Collection");
  EXPECT_TRUE(press("Collections List").contains("zorcollection"));
  EXPECT_TRUE(press("Describe Collection").contains("zorcollection"));
  press("Collection Delete");
  EXPECT_FALSE(press("Collections List").contains("zorcollection"));
  press("Index Delete");
  EXPECT_EQ(press("Indexes List"), "[]");
  EXPECT_TRUE(errors.empty()) << errors.front().toStdString();
}

TEST_F(WindowTest, ApiSwitchShowsTheFieldsOfItsApiAndIsSaved) {
  {
    const TzorIniFile settings(path_);
    TfrmOpenAI window(settings);
    std::vector<QString> errors;
    window.ShowError = [&](const QString& text) { errors.push_back(text); };
    TzorLocalPinecone local;
    local.Attach(window.Form());
    window.show();  // hidden parts get their size only in a shown window
    // Shown on the page `page`, which is brought to the front first.
    const auto shown = [&](QWidget* widget, int page) {
      window.Pages()->setCurrentIndex(page);
      QApplication::processEvents();
      return widget->isVisible();
    };
    EXPECT_EQ(window.ApiSwitch()->currentText(), "legacy");
    EXPECT_TRUE(shown(window.Edit("txtEnvironment"), 0));
    EXPECT_FALSE(shown(window.Edit("txtCloud"), 0));
    EXPECT_FALSE(shown(window.Edit("txtCreateIndexPodType"), 0));
    EXPECT_TRUE(shown(window.Edit("txtVectorsProjectId"), 1));
    EXPECT_FALSE(shown(window.Button("List"), 1));
    EXPECT_FALSE(shown(window.Button("Namespaces List"), 1));

    window.ApiSwitch()->setCurrentText("current");
    EXPECT_TRUE(window.Form().UsesCurrentApi());
    EXPECT_FALSE(shown(window.Edit("txtEnvironment"), 0));
    EXPECT_TRUE(shown(window.Edit("txtCloud"), 0));
    EXPECT_TRUE(shown(window.Edit("txtRegion"), 0));
    EXPECT_TRUE(shown(window.Edit("txtCreateIndexPodType"), 0));
    EXPECT_FALSE(shown(window.Edit("txtVectorsProjectId"), 1));
    EXPECT_TRUE(shown(window.Button("List"), 1));
    EXPECT_TRUE(shown(window.Button("Query"), 1));

    const auto press = [&](const char* caption) {
      QTest::mouseClick(window.Button(caption), Qt::LeftButton);
      return window.Log()->toPlainText().toStdString();
    };
    EXPECT_EQ(press("Indexes List"), R"({"indexes":[]})");
    Type(window.Edit("txtCreateIndexDimensions"), "2");
    EXPECT_NE(press("Create Index").find(R"("host":"zorindex-local.svc.us-east-1-aws.pinecone.io")"), std::string::npos);
    Type(window.Edit("txtVectorsIndexName"), "zorindex");
    Type(window.Edit("txtVectorsUpsertVectorId"), "v1");
    Type(window.Edit("txtVectorsUpsertVector"), "[1, 0]");
    EXPECT_EQ(press("Upsert"), R"({"upsertedCount":1})");
    EXPECT_EQ(press("List"), R"({"vectors":[{"id":"v1"}],"namespace":"__default__","usage":{"readUnits":1}})");
    EXPECT_EQ(press("Namespaces List"), R"({"namespaces":[{"name":"__default__","record_count":1}],"total_count":1})");
    EXPECT_EQ(press("Index Delete"), "");
    EXPECT_TRUE(errors.empty()) << errors.front().toStdString();
  }
  const TzorIniFile settings(path_);
  EXPECT_EQ(settings.ReadString("PINECONE.API", "MODE", "?"), "current");
  TfrmOpenAI window(settings);
  EXPECT_EQ(window.ApiSwitch()->currentText(), "current");
  window.show();
  EXPECT_TRUE(window.Edit("txtCloud")->isVisible());
  EXPECT_FALSE(window.Edit("txtEnvironment")->isVisible());
}

TEST_F(WindowTest, FailuresShowTheirTextAndKeepTheLog) {
  const TzorIniFile settings(path_);
  TfrmOpenAI window(settings);
  std::vector<QString> errors;
  window.ShowError = [&](const QString& text) { errors.push_back(text); };
  TzorLocalPinecone local;
  local.Attach(window.Form());

  QTest::mouseClick(window.Button("Indexes List"), Qt::LeftButton);
  const QString before = window.Log()->toPlainText();
  Type(window.Edit("txtCreateIndexDimensions"), "abc");
  QTest::mouseClick(window.Button("Create Index"), Qt::LeftButton);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "'abc' is not a valid integer value");
  EXPECT_EQ(window.Log()->toPlainText(), before);

  Type(window.Edit("txtIndexDescribeName"), "missing");
  QTest::mouseClick(window.Button("Index Describe"), Qt::LeftButton);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_TRUE(errors[1].startsWith("HTTP/1.1 404 Not Found. ")) << errors[1].toStdString();
  EXPECT_EQ(window.Log()->toPlainText(), before);

  // The window stays usable.
  QTest::mouseClick(window.Button("Collections List"), Qt::LeftButton);
  EXPECT_EQ(window.Log()->toPlainText(), "[]");
  EXPECT_EQ(errors.size(), 2u);
}

}  // namespace
}  // namespace zor

// The application object must outlive every window and be gone before exit()
// runs Qt's own teardown, so it lives on main's stack.
int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
