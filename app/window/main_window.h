#pragma once
// The client's window: a top panel with the API key, the API switch and the
// environment (legacy API) or cloud and region (current API), the
// pages "Indexes", "Vectors" and "Collections", and the log pane.
#include "app/pinecone_form.h"

#include <QMainWindow>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace zor {

class TzorIniFile;

class TfrmOpenAI : public QMainWindow {
 public:
  // Reads the settings file (FormCreate); the destructor writes it (FormDestroy).
  explicit TfrmOpenAI(const TzorIniFile& settings, QWidget* parent = nullptr);
  ~TfrmOpenAI() override;

  TzorPineconeForm& Form() { return form_; }
  QLineEdit* Edit(const std::string& field_name) const { return edits_.at(field_name); }
  // The switch between the legacy and the current API.
  QComboBox* ApiSwitch() const { return api_; }
  QPushButton* Button(const std::string& caption) const { return buttons_.at(caption); }
  QPlainTextEdit* Log() const { return log_; }
  QTabWidget* Pages() const { return pages_; }

  // Shows a failure to the user; a modal error dialog unless replaced (tests).
  std::function<void(const QString&)> ShowError;

 private:
  QWidget* BuildTopPanel();
  QWidget* BuildPage(TzorFormPage page);
  QLineEdit* AddEdit(const TzorFormField& field);
  QComboBox* AddApiSwitch(const TzorFormField& field);
  // Shows what belongs to the API in use and hides what belongs to the other.
  void ShowApiScope();
  void RunCommand(const TzorPineconeForm::Command& command);

  const TzorIniFile& settings_;
  TzorPineconeForm form_;
  std::map<std::string, QLineEdit*> edits_;
  std::map<std::string, QPushButton*> buttons_;
  QPlainTextEdit* log_ = nullptr;
  QTabWidget* pages_ = nullptr;
  QComboBox* api_ = nullptr;
  std::vector<std::pair<TzorApiScope, std::function<void(bool)>>> scoped_;
};

}  // namespace zor
