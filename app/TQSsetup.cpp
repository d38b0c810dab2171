// The setup window and its two files.
#include "app/TQSsetup.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include "app/RemoteServers.h"
#include "app/ScpConfig.h"
#include "platform/ExeFolder.h"
#include "platform/Files.h"
#include "platform/gui/Cp1252.h"
#include "platform/gui/ShowModal.h"
#include "platform/gui/UiServices.h"

TQSsetup* QSsetup = nullptr;

namespace {

QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text, int x, int y, int w) {
  auto* edit = new QLineEdit(text, parent);
  edit->setObjectName(name);
  edit->setGeometry(x, y, w, 21);
  return edit;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text, int x, int y,
                        int w) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setGeometry(x, y, w, 25);
  return button;
}

void MakeLabel(QWidget* parent, const QString& text, int x, int y) {
  auto* label = new QLabel(text, parent);
  label->move(x, y);
}

}  // namespace

TQSsetup::TQSsetup(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("QSsetup");
  setWindowTitle("Setup");
  setFixedSize(595, 350);
  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  PageControl1->setGeometry(0, 0, 595, 305);
  auto* configurationPage = new QWidget;
  auto* remotePage = new QWidget;
  PageControl1->addTab(configurationPage, "SCP Configuration");
  PageControl1->addTab(remotePage, "Remote Servers");
  BuildConfigurationPage(configurationPage);
  BuildRemoteServersPage(remotePage);
  BitBtn1 = MakeButton(this, "BitBtn1", "OK", 400, 315, 85);
  BitBtn2 = MakeButton(this, "BitBtn2", "Cancel", 495, 315, 85);
  // The modal result is set before the handler runs, so OK closes even after an error box.
  connect(BitBtn1, &QPushButton::clicked, this, [this] {
    SetModalResult(*this, ModalResult::Ok);
    BitBtn1Click();
    close();
  });
  connect(BitBtn2, &QPushButton::clicked, this, [this] {
    SetModalResult(*this, ModalResult::Cancel);
    close();
  });
  FormCreate();
}

void TQSsetup::BuildConfigurationPage(QWidget* page) {
  MakeLabel(page, "Port Number:", 16, 20);
  Edit3 = MakeEdit(page, "Edit3", "104", 120, 16, 121);
  MakeLabel(page, "AE Title:", 16, 52);
  Edit4 = MakeEdit(page, "Edit4", "KORVA", 120, 48, 121);
  MakeLabel(page, "LOG Level:", 16, 84);
  ComboBox1 = new QComboBox(page);
  ComboBox1->setObjectName("ComboBox1");
  ComboBox1->setGeometry(120, 80, 185, 21);
  ComboBox1->setEditable(true);
  ComboBox1->setInsertPolicy(QComboBox::NoInsert);
  ComboBox1->addItems({"No Log", "HighLevel Messages", "PDU Level", "Socket Level"});
  ComboBox1->setCurrentIndex(-1);
  ComboBox1->setEditText("Select LOG level");
}

void TQSsetup::BuildRemoteServersPage(QWidget* page) {
  StringGrid2 = new StringGrid(3, 2, page);
  StringGrid2->setObjectName("StringGrid2");
  StringGrid2->setGeometry(4, 4, 581, 190);
  const int widths[3] = {200, 228, 148};
  for (int c = 0; c < 3; ++c) StringGrid2->SetColWidth(c, widths[c]);
  StringGrid2->onClick = [this] { StringGrid2Click(); };
  Edit1 = MakeEdit(page, "Edit1", "", 4, 204, 200);
  Edit2 = MakeEdit(page, "Edit2", "", 208, 204, 228);
  Edit7 = MakeEdit(page, "Edit7", "", 440, 204, 145);
  Button3 = MakeButton(page, "Button3", "Add", 4, 236, 85);
  Button5 = MakeButton(page, "Button5", "Clear", 96, 236, 85);
  Button6 = MakeButton(page, "Button6", "Change", 188, 236, 85);
  connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
  connect(Button5, &QPushButton::clicked, this, [this] { Button5Click(); });
  connect(Button6, &QPushButton::clicked, this, [this] { Button6Click(); });
}

void TQSsetup::FormCreate() {
  if (ReadConfiguration(ExeFolder + "trevalind.cfg")) {
    Edit3->setText(FromCp1252(ConfigText(ScpConfig.port)));
    Edit4->setText(FromCp1252(ConfigText(ScpConfig.aeTitle)));
  } else {
    SetConfigText(ScpConfig.port, ToCp1252(Edit3->text()));
    SetConfigText(ScpConfig.aeTitle, ToCp1252(Edit4->text()));
  }
  // A stored level outside the list leaves no item selected.
  if (ScpConfig.logLevel >= 0 && ScpConfig.logLevel < ComboBox1->count())
    ComboBox1->setCurrentIndex(ScpConfig.logLevel);
  StringGrid2->SetCell(0, 0, "AE Title");
  StringGrid2->SetCell(1, 0, "IP Address");
  StringGrid2->SetCell(2, 0, "Port Number");
  LoadRemoteServers(ExeFolder + "remote.txt");
}

void TQSsetup::LoadRemoteServers(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (!Files().Exists(path) || !Files().ReadFile(path, bytes)) return;
  const std::vector<RemoteServer> servers =
      ParseRemoteServers(std::string(bytes.begin(), bytes.end()));
  for (size_t i = 0; i < servers.size(); ++i) {
    const int row = int(i) + 1;
    if (StringGrid2->RowCount() < row + 1) StringGrid2->SetRowCount(row + 1);
    StringGrid2->SetCell(0, row, FromCp1252(servers[i].aeTitle));
    StringGrid2->SetCell(1, row, FromCp1252(servers[i].address));
    StringGrid2->SetCell(2, row, FromCp1252(servers[i].port));
  }
  if (!servers.empty()) StringGrid2->SetRowCount(int(servers.size()) + 1);
}

bool TQSsetup::SaveRemoteServers(const std::string& path) {
  std::vector<RemoteServer> servers;
  for (int row = 1; row < StringGrid2->RowCount(); ++row)
    servers.push_back({ToCp1252(StringGrid2->Cell(0, row)), ToCp1252(StringGrid2->Cell(1, row)),
                       ToCp1252(StringGrid2->Cell(2, row))});
  const std::string text = FormatRemoteServers(servers);
  return Files().WriteFileAtomically(path, text.data(), text.size());
}

void TQSsetup::Button3Click() {
  if (Edit1->text().isEmpty() || Edit2->text().isEmpty() || Edit7->text().isEmpty()) {
    Ui().ShowMessage(this, "ERROR, No empty fields allowed!");
    return;
  }
  int row;
  if (StringGrid2->RowCount() == 2 && StringGrid2->Cell(1, 1).isEmpty()) {
    row = 1;  // the one placeholder row
  } else {
    StringGrid2->SetRowCount(StringGrid2->RowCount() + 1);
    row = StringGrid2->RowCount() - 1;
  }
  StringGrid2->SetCell(0, row, Edit1->text());
  StringGrid2->SetCell(1, row, Edit2->text());
  StringGrid2->SetCell(2, row, Edit7->text());
}

void TQSsetup::Button5Click() {
  const int current = StringGrid2->Row();
  const int rows = StringGrid2->RowCount();
  if (current < 1 || current >= rows) return;  // only the header is left
  for (int row = current; row + 1 < rows; ++row)
    StringGrid2->SetRowData(row, StringGrid2->RowData(row + 1));
  StringGrid2->SetRowCount(rows - 1);
}

void TQSsetup::Button6Click() {
  const int current = StringGrid2->Row();
  if (current < 1 || current >= StringGrid2->RowCount()) return;
  StringGrid2->SetCell(0, current, Edit1->text());
  StringGrid2->SetCell(1, current, Edit2->text());
  StringGrid2->SetCell(2, current, Edit7->text());
}

void TQSsetup::StringGrid2Click() {
  const int current = StringGrid2->Row();
  Edit1->setText(StringGrid2->Cell(0, current));
  Edit2->setText(StringGrid2->Cell(1, current));
  Edit7->setText(StringGrid2->Cell(2, current));
}

void TQSsetup::BitBtn1Click() {
  ScpConfig.logLevel = ComboBox1->findText(ComboBox1->currentText());
  SetConfigText(ScpConfig.port, ToCp1252(Edit3->text()));
  SetConfigText(ScpConfig.aeTitle, ToCp1252(Edit4->text()));
  WriteConfiguration(ExeFolder + "trevalind.cfg");  // a failure stays silent
  const std::string remotePath = ExeFolder + "remote.txt";
  if (!SaveRemoteServers(remotePath))
    Ui().ShowMessage(this, "Cannot create file " + QString::fromLocal8Bit(remotePath.c_str()));
}
