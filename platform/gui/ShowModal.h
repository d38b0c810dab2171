// Modal showing of a top-level window, as the class library's ShowModal did: the window becomes
// application-modal and a local event loop runs until it closes. A window sets its result with
// SetModalResult before closing; a window closed otherwise gives ModalResult::Cancel.
#pragma once

class QWidget;

enum class ModalResult { None, Ok, Cancel, Yes, No };

void SetModalResult(QWidget& window, ModalResult result);
ModalResult GetModalResult(const QWidget& window);
ModalResult ShowModal(QWidget& window);
