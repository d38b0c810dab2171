// The folder chooser.
#include "app/TForm2.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <algorithm>

#include "app/BrowserState.h"
#include "platform/Files.h"
#include "platform/gui/ShowModal.h"

TForm2* Form2 = nullptr;

namespace {

constexpr int kPathRole = Qt::UserRole;

QString PathToQt(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}
std::string PathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("Form2");
  setWindowTitle("Scan Directory");
  setFixedSize(380, 312);
  DriveComboBox1 = new QComboBox(this);
  DriveComboBox1->setObjectName("DriveComboBox1");
  DriveComboBox1->setGeometry(8, 8, 364, 22);
  DirectoryListBox1 = new QListWidget(this);
  DirectoryListBox1->setObjectName("DirectoryListBox1");
  DirectoryListBox1->setGeometry(8, 36, 364, 230);
  Button1 = new QPushButton("OK", this);
  Button1->setObjectName("Button1");
  Button1->setGeometry(200, 276, 80, 26);
  Button2 = new QPushButton("Cancel", this);
  Button2->setObjectName("Button2");
  Button2->setGeometry(292, 276, 80, 26);
  connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
  connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
  connect(DirectoryListBox1, &QListWidget::itemClicked, this, [this] { DirectoryListBox1Click(); });
  connect(DriveComboBox1, &QComboBox::activated, this,
          [this] { setDirectory(PathFromQt(DriveComboBox1->currentData(kPathRole).toString())); });
  FillDrives();
  setDirectory(PathFromQt(QDir::currentPath()));
}

void TForm2::FillDrives() {
  QStringList roots;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    if (volume.isValid() && volume.isReady()) roots << volume.rootPath();
  if (!roots.contains("/")) roots.prepend("/");
  roots.removeDuplicates();
  std::sort(roots.begin(), roots.end());
  for (const QString& root : roots) DriveComboBox1->addItem(root, root);
}

void TForm2::setDirectory(const std::string& path) {
  std::string clean = path.empty() ? "/" : path;
  while (clean.size() > 1 && clean.back() == '/') clean.pop_back();
  directory_ = clean;
  DirectoryListBox1->clear();
  // The ancestors from the root down, then the current folder's sub-folders, indented.
  std::vector<std::string> chain{"/"};
  for (size_t slash = clean.find('/', 1);; slash = clean.find('/', slash + 1)) {
    const std::string prefix = clean.substr(0, slash);
    if (prefix != "/" && !prefix.empty()) chain.push_back(prefix);
    if (slash == std::string::npos) break;
  }
  int depth = 0;
  for (const std::string& ancestor : chain) {
    const std::string name = ancestor == "/" ? "/" : ancestor.substr(ancestor.rfind('/') + 1);
    auto* item = new QListWidgetItem(QString(depth * 2, ' ') + PathToQt(name));
    item->setData(kPathRole, PathToQt(ancestor));
    DirectoryListBox1->addItem(item);
    ++depth;
  }
  std::vector<DirEntry> entries;
  Files().ListDirectory(clean, entries);
  std::vector<std::string> names;
  for (const DirEntry& entry : entries)
    if (entry.isDirectory) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    auto* item = new QListWidgetItem(QString(depth * 2, ' ') + PathToQt(name));
    item->setData(kPathRole, PathToQt(clean == "/" ? "/" + name : clean + "/" + name));
    DirectoryListBox1->addItem(item);
  }
  DirectoryListBox1->setCurrentRow(int(chain.size()) - 1);
}

void TForm2::DirectoryListBox1Click() {
  QListWidgetItem* item = DirectoryListBox1->currentItem();
  if (item) setDirectory(PathFromQt(item->data(kPathRole).toString()));
}

void TForm2::Button1Click() {
  ChosenFolder = directory_;
  SetModalResult(*this, ModalResult::Ok);
  close();
}

void TForm2::Button2Click() {
  SetModalResult(*this, ModalResult::Cancel);
  close();
}

void TForm2::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    Button2Click();
    return;
  }
  QWidget::keyPressEvent(event);
}
