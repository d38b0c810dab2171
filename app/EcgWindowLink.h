// How the browser shows a study in the ECG window: modally, with the study's files as the
// window's file list (the first one is opened when the window is shown). Returns when the
// window closes. Tests install their own shower to see which files were asked for.
#pragma once

#include <functional>
#include <string>
#include <vector>

class QWidget;

using EcgWindowShower = std::function<void(const std::vector<std::string>& files)>;

void ShowStudyInEcgWindow(const std::vector<std::string>& files);
void SetEcgWindowShower(EcgWindowShower shower);  // empty: the real ECG window
// Creates the ECG window (once, after the other windows); null when it is not part of the build.
QWidget* CreateEcgWindow();
