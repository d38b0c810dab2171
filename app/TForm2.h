// The folder chooser "Scan Directory": a drive selector (mount points) above a directory list
// that shows the current folder's ancestors and sub-folders; a single click opens one. It
// starts in the process's current directory and keeps its place between showings. OK confirms
// the current folder into ChosenFolder; Cancel and Esc close without.
#pragma once

#include <QWidget>
#include <string>

class QComboBox;
class QListWidget;
class QPushButton;

class TForm2 : public QWidget {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);

  // The list's current directory (native path bytes, no trailing "/" except for the root).
  std::string Directory() const { return directory_; }
  void setDirectory(const std::string& path);

  void Button1Click();  // OK
  void Button2Click();  // Cancel
  void DirectoryListBox1Click();

  QComboBox* DriveComboBox1;
  QListWidget* DirectoryListBox1;
  QPushButton* Button1;
  QPushButton* Button2;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FillDrives();
  std::string directory_;
};

extern TForm2* Form2;
