// Search, retrieve and echo against the selected node.
#include <QPlainTextEdit>

#include "app/BrowserState.h"
#include "app/TFindForm.h"

// The client operations are not yet part of the build: every exchange reports its failure.
void TFindForm::Button4Click() { AppendMemo("ERROR: Study Query Failed!"); }

void TFindForm::Button10Click() {
  if (LocalSelected()) return;
  AppendMemo("Association Failed!");
}

void TFindForm::Button3Click() {
  AppendMemo("Echo Failed!: " + QString::fromLatin1(RemoteAETitle.c_str()));
}
