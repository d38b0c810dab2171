// The OK/Cancel question box the browser asks before long or destructive operations. It sits
// beside platform/gui's UiServices (which has no two-button box yet) so tests can script the
// answers; PromptsInForce() gives the Qt form unless a test installed its own.
#pragma once

#include <QString>

class QWidget;

class Prompts {
 public:
  virtual ~Prompts() = default;
  // True only when the user pressed OK; "\r\n" in the text shows as a line break.
  virtual bool Confirm(QWidget* parent, const QString& text, const QString& caption) = 0;
};

Prompts& PromptsInForce();
void SetPrompts(Prompts* prompts);  // not owned; null restores the Qt form
