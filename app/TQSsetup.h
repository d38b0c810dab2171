// The setup window: the server's listen port, the own AE title and the log level (kept in
// trevalind.cfg), and the remote query/retrieve nodes (kept in remote.txt). It is created once
// at start-up, after ExeFolder is set, and only ever shown modally; its controls keep their
// contents between showings and Cancel restores nothing.
#pragma once

#include <QWidget>
#include <string>

#include "app/StringGrid.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

class TQSsetup : public QWidget {
  Q_OBJECT
 public:
  explicit TQSsetup(QWidget* parent = nullptr);

  void LoadRemoteServers(const std::string& path);
  // False when remote.txt cannot be written (the caller shows the error box).
  bool SaveRemoteServers(const std::string& path);

  void Button3Click();  // Add
  void Button5Click();  // Clear
  void Button6Click();  // Change
  void StringGrid2Click();
  void BitBtn1Click();  // OK

  QPushButton* BitBtn1;
  QPushButton* BitBtn2;
  QTabWidget* PageControl1;
  QLineEdit* Edit3;      // port
  QLineEdit* Edit4;      // AE title
  QComboBox* ComboBox1;  // log level
  StringGrid* StringGrid2;
  QLineEdit* Edit1;  // remote AE title
  QLineEdit* Edit2;  // remote IP address
  QLineEdit* Edit7;  // remote port
  QPushButton* Button3;
  QPushButton* Button5;
  QPushButton* Button6;

 private:
  void FormCreate();
  void BuildConfigurationPage(QWidget* page);
  void BuildRemoteServersPage(QWidget* page);
};

extern TQSsetup* QSsetup;
