#include "app/window/main_window.h"

#include "app/ini_file.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <vector>

namespace zor {

namespace {

// Which fields stand beside which button, page by page. Fields shared by every
// command of a page (the Vectors page's index, project and namespace) head the page.
struct Group {
  TzorFormPage page;
  const char* command;  // caption, or nullptr for the page's shared fields
  std::vector<const char*> fields;
};

const std::vector<Group>& Groups() {
  using P = TzorFormPage;
  static const std::vector<Group> groups{
      {P::Indexes, "Indexes List", {}},
      {P::Indexes, "Create Index", {"txtCreateIndexName", "txtCreateIndexDimensions", "txtCreateIndexPodType"}},
      {P::Indexes, "Index Describe", {"txtIndexDescribeName"}},
      {P::Indexes, "Index Delete", {"txtIndexDeleteName"}},
      {P::Indexes, "Index Configure", {"txtIndexConfigureName", "txtIndexConfigureReplicas", "txtIndexConfigurePodtype"}},
      {P::Vectors, nullptr, {"txtVectorsIndexName", "txtVectorsProjectId", "txtVectorsNamespace"}},
      {P::Vectors, "Describe Index Stats", {}},
      {P::Vectors, "Query", {"txtVectorsQueryVector"}},
      {P::Vectors, "Delete", {"txtVectorsDeleteVectorId"}},
      {P::Vectors, "Fetch", {"txtVectorsFetchVectorId"}},
      {P::Vectors, "Update", {"txtVectorsUpdateVectorId", "txtVectorsUpdateVector"}},
      {P::Vectors, "Upsert", {"txtVectorsUpsertVectorId", "txtVectorsUpsertVector"}},
      {P::Vectors, "List", {"txtVectorsListPrefix"}},
      {P::Vectors, "Delete By Prefix", {"txtVectorsDeletePrefix"}},
      {P::Vectors, "Namespaces List", {}},
      {P::Collections, "Collections List", {}},
      {P::Collections, "Create Collection", {"txtCollectionsCreateName", "txtCollectionsCreateSource"}},
      {P::Collections, "Describe Collection", {"txtCollectionsDescribeName"}},
      {P::Collections, "Collection Delete", {"txtCollectionsDeleteName"}},
  };
  return groups;
}

}  // namespace

TfrmOpenAI::TfrmOpenAI(const TzorIniFile& settings, QWidget* parent) : QMainWindow(parent), settings_(settings) {
  setObjectName("frmOpenAI");
  setWindowTitle("zorPinecone API - Ovelant Software");
  resize(1053, 839);
  ShowError = [this](const QString& text) { QMessageBox::critical(this, windowTitle(), text); };

  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->addWidget(BuildTopPanel());
  pages_ = new QTabWidget(central);
  for (auto page : {TzorFormPage::Indexes, TzorFormPage::Vectors, TzorFormPage::Collections}) {
    pages_->addTab(BuildPage(page), PageCaption(page));
  }
  layout->addWidget(pages_, 1);
  log_ = new QPlainTextEdit(central);
  log_->setObjectName("memoLog");
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_->setMinimumHeight(300);
  layout->addWidget(log_, 1);
  setCentralWidget(central);

  // The form is the single source of truth; views follow its changes.
  form_.OnLog = [this](const std::string& text) { log_->setPlainText(QString::fromStdString(text)); };
  form_.OnFieldChanged = [this](const TzorFormField& field, const std::string& text) {
    if (field.name == std::string_view(kApiField)) {
      api_->setCurrentText(QString::fromStdString(text));
      ShowApiScope();
      return;
    }
    QLineEdit* edit = edits_.at(field.name);
    if (edit->text().toStdString() != text) edit->setText(QString::fromStdString(text));
  };
  ShowApiScope();
  form_.LoadSettings(settings_);
}

void TfrmOpenAI::ShowApiScope() {
  const std::string& api = form_.FieldText(kApiField);
  for (const auto& [scope, show] : scoped_) show(InScope(scope, api));
}

TfrmOpenAI::~TfrmOpenAI() {
  try {
    form_.SaveSettings(settings_);
  } catch (const std::exception& e) {
    ShowError(QString::fromStdString(e.what()));
  }
}

QWidget* TfrmOpenAI::BuildTopPanel() {
  auto* panel = new QWidget(this);
  auto* layout = new QHBoxLayout(panel);
  for (const auto& field : FormFields()) {
    if (field.page != TzorFormPage::Top) continue;
    auto* label = new QLabel(field.label, panel);
    layout->addWidget(label);
    QWidget* input = field.name == std::string_view(kApiField) ? static_cast<QWidget*>(AddApiSwitch(field)) : AddEdit(field);
    input->setParent(panel);
    layout->addWidget(input, 1);
    if (field.scope != TzorApiScope::Both) {
      scoped_.emplace_back(field.scope, [label, input](bool shown) {
        label->setVisible(shown);
        input->setVisible(shown);
      });
    }
  }
  Edit("txtApiKey")->setEchoMode(QLineEdit::Password);
  Edit("txtApiKey")->setStyleSheet("lineedit-password-character: 42");  // shown as "*"
  return panel;
}

QWidget* TfrmOpenAI::BuildPage(TzorFormPage page) {
  auto* widget = new QWidget(this);
  auto* layout = new QVBoxLayout(widget);
  for (const Group& group : Groups()) {
    if (group.page != page) continue;
    auto* box = new QGroupBox(group.command ? group.command : "", widget);
    auto* row = new QHBoxLayout(box);
    auto* form = new QFormLayout();
    for (const char* name : group.fields) {
      const TzorFormField& field = *FindFormField(name);
      QLineEdit* edit = AddEdit(field);
      form->addRow(field.label, edit);
      if (field.scope != TzorApiScope::Both) {
        scoped_.emplace_back(field.scope, [form, edit](bool shown) { form->setRowVisible(edit, shown); });
      }
    }
    row->addLayout(form, 1);
    if (group.command) {
      const TzorPineconeForm::Command* command = TzorPineconeForm::FindCommand(group.command);
      auto* button = new QPushButton(command->caption, box);
      button->setObjectName(command->handler);
      connect(button, &QPushButton::clicked, this, [this, command] { RunCommand(*command); });
      buttons_[command->caption] = button;
      row->addWidget(button, 0, Qt::AlignTop);
      if (command->Scope() != TzorApiScope::Both) {
        scoped_.emplace_back(command->Scope(), [box](bool shown) { box->setVisible(shown); });
      }
    }
    layout->addWidget(box);
  }
  layout->addStretch(1);
  return widget;
}

QLineEdit* TfrmOpenAI::AddEdit(const TzorFormField& field) {
  auto* edit = new QLineEdit(QString::fromUtf8(field.initial), this);
  edit->setObjectName(field.name);
  const std::string name = field.name;
  connect(edit, &QLineEdit::textChanged, this,
          [this, name](const QString& text) { form_.SetFieldText(name, text.toStdString()); });
  edits_[name] = edit;
  return edit;
}

QComboBox* TfrmOpenAI::AddApiSwitch(const TzorFormField& field) {
  api_ = new QComboBox(this);
  api_->setObjectName(field.name);
  api_->addItems({kLegacyApi, kCurrentApi});
  api_->setCurrentText(field.initial);
  const std::string name = field.name;
  connect(api_, &QComboBox::currentTextChanged, this,
          [this, name](const QString& text) { form_.SetFieldText(name, text.toStdString()); });
  return api_;
}

void TfrmOpenAI::RunCommand(const TzorPineconeForm::Command& command) {
  // A failure ends the command with the log unchanged; the window carries on.
  try {
    form_.Run(command);
  } catch (const std::exception& e) {
    ShowError(QString::fromStdString(e.what()));
  }
}

}  // namespace zor
