// The user interface's test objects share one program (ui_tests) and one
// QApplication; each file runs its object through a function listed here.
#pragma once

int RunPlatformMessagePumpTest(int argc, char** argv);
int RunAuthenticationDialogsTest(int argc, char** argv);
int RunDlgMainTest(int argc, char** argv);
int RunMainWindowPartsTest(int argc, char** argv);
