// VexaV32's control and panel callbacks, bound by name from VexaV32.uir.
#pragma once

// Makes every callback of the program known by its name; call before loading the panels.
void RegisterVexaCallbacks();

// Shows a help text in a message popup titled "INFO!".
void ShowHelp(const char *text);
// The common callback pattern: action on commit, help text on a right click.
int CommitOrHelp(int event, const char *help, void (*action)());

int CBF_MAINP(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_COLBIGP(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_ButtonPara(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_ButtonTeachTable(int panel, int control, int event, void *callbackData, int eventData1,
                         int eventData2);
int CBF_ButtonRecorder(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_ButtonSend(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_ButtonGet(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_ButtonGo(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_ButtonStop(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

int CBF_EditID(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

int CBF_SelectRAM(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_SelectEEPROM(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_SelectFILE(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_Evalmode(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_ExternTeach(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_EditChannelMode(int panel, int control, int event, void *callbackData, int eventData1,
                        int eventData2);
int CBF_EditTrigger(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_EditOutmode(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_EditMaxNo(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_EditMaxUp(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_EditMaxDown(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_EditAverage(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_EditIntlim(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_EditHold(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
int CBF_SlidePower(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
