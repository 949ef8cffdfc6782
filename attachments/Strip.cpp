#include "app/Main.h"

#include "ui_Main.h"

void TMainBox::ConnectAttachmentHandlers() {}

void TMainBox::DataSourceMainDataChange() {}
