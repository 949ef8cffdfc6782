#pragma once

class TMainBox;

// Shows the catalogue's columns (DBGrid1Columns) in the record grid: titles,
// widths and title colours.
void ShowRecordColumns(TMainBox& box);
