#!/usr/bin/env python3
"""Plants one fault at a time in the sources and runs the tests that should catch it.

Usage: scripts/mutants.py [-B BUILD] [-k REGEX] [--list] [--check] [--map [-o FILE]] [--timeout SEC]
e.g.   scripts/mutants.py -k '^m[0-9]' -j 3 --map -o map.json

Each fault names a file, an exact snippet of it, the snippet's replacement and the test
programs to run (a ninja target, optionally ":gtest-filter"). For each fault the file is
changed in place, only those targets are rebuilt, the programs run (stopping at the first
failure), and the file is put back whatever happens. A snippet that is not found exactly once
is reported as not applicable: code moves, and a fault is then planted again by hand.

  killed      a test failed, crashed or timed out
  survived    every test passed
  n/a         the snippet is not in the file (or not once)
  no-build    the changed code did not compile (the fault needs rewriting)

--map runs every test program of each fault to the end and notes each failing test (a crash or
a timeout counts against the test that was running); it prints which tests catch each fault,
then per test the faults it catches and those it alone catches (a test that alone catches
none adds nothing); -o saves that as JSON, with the test lines that failed.

The build folder must be configured with the tests (see README); QF_MDB_FIXTURES is set to its
fixtures/mdb. Exits 1 when a fault survived.
"""
import argparse
import json
import os
import re
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
JOURNAL = ".mutant-active"  # in the build folder: the file to restore after a hard stop


def F(id, path, old, new, *tests):
    return dict(id=id, path=path, old=old, new=new, tests=list(tests))


# Test programs, by library.
STORE = "store_tests"
EXPR = "expr_tests"
DATA = "tables_tests"
MDB = "tables_mdb_tests"
SQL = "tables_sql_tests"
CALC = "tables_calc_tests"
WS = "tables_workspace_tests"
SAVEAS = "tables_saveas_tests"
COMPOSER = "composer_project_tests"
COMPOSER_CORE = "composer_tests"
COMPOSER_GUI = "composer_gui_tests"
COMPOSER_WIN = "composer_window_tests"
DELIVERY = "delivery_tests"
DELIVERY_UI = "delivery_ui_tests"
SHELL_CORE = "shell_core_tests"
SHELL_GUI = "shell_gui_tests"
RECORDS_UI = "tables_records_ui_tests"
CALC_UI = "tables_calc_ui_tests"
RESTRUCT_UI = "tables_restructure_ui_tests"
WINDOW_UI = "tables_window_tests"

FAULTS = [
    # ---- the faults that got through an earlier suite ----
    F("i01-close-query", "src/shell/mainform.cpp",
      "    if (Workspace && !Workspace->RecordCommands().SavePendingChanges())\n        return false;\n", "",
      SHELL_GUI + ":ShellMainForm.*:TableCommands.*"),
    F("i02-mdb-sign", "src/tables/data/mdb/mdbdatabase.cpp",
      "if (Count < 8 && (Bytes[Count - 1] & 0x80))", "if (false)", MDB, SQL),
    F("i03-mdb-currency", "src/tables/data/mdb/mdbdatabase.cpp",
      "/ 10000.0", "/ 1000.0", MDB, SQL),
    F("i04-saveas-rowcount", "src/tables/saveas.cpp",
      "if (Table.FileRowCount() != Records || !Table.Warning().isEmpty())",
      "if (Table.FileRowCount() < Records * 0 || !Table.Warning().isEmpty())", SAVEAS, WS),
    F("i05-dbf-text-width", "src/tables/data/dbf/dbftable.cpp",
      "if (Layout.Type == 'C' && Bytes->size() > Layout.Width)",
      "if (Layout.Type == 'C' && Bytes->size() > Layout.Width + 1)", DATA),
    F("i06-dbf-number-width", "src/tables/data/dbf/dbftable.cpp",
      "        if (Text.size() > Layout.Width)\n            throw EDatabaseError(\n                QStringLiteral(\n                    \"The number",
      "        if (Text.size() > Layout.Width + 1)\n            throw EDatabaseError(\n                QStringLiteral(\n                    \"The number",
      DATA),
    F("i07-dbf-year-10000", "src/tables/data/dbf/dbftable.cpp",
      "Date.year() > 9999)", "Date.year() > 10000)", DATA),
    F("i08-sql-rowid", "src/tables/data/sql/sqlengine.cpp",
      "if (Row < 0 || Row >= Source.RowCount() || Source.IsDeleted(Row))",
      "if (Row < 0 || Row > Source.RowCount() || Source.IsDeleted(Row))", SQL),
    F("i09-project-charset", "src/composer/project.cpp",
      "Charset < 0 || Charset >= CharsetCount) {", "Charset < 0 || Charset > CharsetCount) {",
      COMPOSER),
    F("i10-utf8-mask", "src/delivery/charsets.cpp",
      "B & (0x3F >> (N - 1))", "B & (0x3F >> N)", DELIVERY + ":DeliveryMessage.*"),
    F("i11-qp-trailing-space", "src/delivery/mimeencode.cpp",
      "((C == ' ' || C == '\\t') && AtLineEnd)", "(C == '\\t' && AtLineEnd)",
      DELIVERY + ":DeliveryMessage.*"),
    # The SMTP client was rewritten: its 4xx fault is now a refusal below 500 that loses its code.
    F("i12-smtp-4xx", "src/delivery/idsmtp.cpp",
      "throw EIdReplyError(R.Code, QString::fromUtf8(R.Text));",
      "throw EIdReplyError(R.Code >= 500 ? R.Code : 0, QString::fromUtf8(R.Text));",
      DELIVERY + ":DeliveryClient.*"),
    F("i13-smtp-port0", "src/delivery/idsmtp.cpp",
      "if (Owner.Port < 1 || Owner.Port > 65535)", "if (Owner.Port < 0 || Owner.Port > 65535)",
      DELIVERY + ":DeliveryClient.*"),
    F("i14-merge-version", "src/composer/merge.cpp",
      "if (Cached->ReaderVersion == Version && Cached->Text.size() == Text.size() &&",
      "if (Cached->Text.size() == Text.size() &&", COMPOSER),
    F("i15-sort-9-bytes", "src/tables/data/dataset.cpp",
      "if (a.Length > 8 && b.Length > 8) {", "if (a.Length > 9 && b.Length > 9) {", DATA),
    F("i16-utf8-surrogates", "src/store/textcodec.cpp",
      "(Code < 0x800 || (Code >= 0xD800 && Code <= 0xDFFF))", "(Code < 0x800)", STORE),
    F("i17-calc-add-modified", "src/tables/ui/calcfieldpage.cpp",
      "        if (OnModified)\n            OnModified();\n        FFields.Add(Text);",
      "        FFields.Add(Text);", CALC_UI),
    F("i18-calc-delete-row", "src/tables/ui/calcfieldpage.cpp",
      "if (ListBox1->count() > Index)\n            ListBox1->setCurrentRow(Index);",
      "if (ListBox1->count() > Index)\n            ListBox1->setCurrentRow(Index - 1);", CALC_UI),
    F("i19-editdb-logical-template", "src/tables/ui/editdb.cpp",
      "F.SetAsBoolean(R.TemplateValue == QLatin1String(\"X\"));",
      "F.SetAsBoolean(R.TemplateValue != QLatin1String(\"X\"));", RECORDS_UI),
    F("i20-restruct-move-down", "src/tables/ui/restructform.cpp",
      "if (List.MoveDown(Row)) {\n        SelectRow(Row + 1);", "if (List.MoveDown(Row)) {\n        SelectRow(Row);",
      RESTRUCT_UI),
    F("i21-align-left-center", "src/shell/commandstate.cpp",
      "Center = !Left && H.JustifyCenter;", "Center = H.JustifyCenter;", SHELL_CORE),

    # ---- store ----
    F("s01-read-short", "src/store/storefile.cpp", "    if (n < Count)\n        FDamaged = true;\n", "", STORE),
    F("s02-readint-bound", "src/store/storefile.cpp", "if (Remaining() < 4) {", "if (Remaining() < 3) {", STORE),
    F("s03-readstr-len", "src/store/storefile.cpp", "if (len < 0 || len > H.Remaining()) {",
      "if (len < 0 || len > H.Remaining() + 1) {", STORE),
    F("s04-int32-byte-order", "src/store/storefile.cpp", "uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24",
      "uint32_t(b[3]) << 16 | uint32_t(b[2]) << 24", STORE),
    F("s05-utf8-overlong-2", "src/store/textcodec.cpp", "if (c >= 0xC2 && c <= 0xDF) {",
      "if (c >= 0xC0 && c <= 0xDF) {", STORE),
    F("s06-utf8-max", "src/store/textcodec.cpp", "Code > 0x10FFFF", "Code > 0x11FFFF", STORE),
    F("s07-cp1252-range", "src/store/textcodec.cpp", "(b >= 0x80 && b < 0xA0)", "(b >= 0x80 && b < 0x9F)", STORE),
    F("s08-dlist-format", "src/store/dlist.cpp", "if (format > MaxFormat) {", "if (format > MaxFormat + 1) {", STORE),
    F("s09-dlist-level", "src/store/dlist.cpp", "return lv >= FMinLevel && lv <= FMaxLevel;",
      "return lv >= FMinLevel && lv < FMaxLevel;", STORE),
    F("s10-dlist-sorted-insert", "src/store/dlist.cpp", "while (i > 0 && keys[i - 1] > c) {",
      "while (i > 1 && keys[i - 1] > c) {", STORE),
    F("s11-reader-surrogate", "src/store/reader.cpp",
      "return (s[i].isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) ? 2 : 1;",
      "return (s[i].isHighSurrogate() && i < 0) ? 2 : 1;", STORE),
    F("s12-reader-blanks", "src/store/reader.cpp", "for (int c = 0; c <= 32; ++c)", "for (int c = 0; c < 32; ++c)", STORE),
    F("s13-sqlset-title-case", "src/store/sqlset.cpp", "if (item.Title.toLower() == t)", "if (item.Title == t)", STORE),
    F("s14-sqlset-name-check", "src/store/sqlset.cpp", "if (FReader.IsDelimiter(QString(c)))", "if (false)", STORE),
    F("s15-reader-longest-delim", "src/store/reader.cpp", "if (!D || end > recEnd)", "if (!D || end < recEnd)", STORE),
    F("s16-reader-best-end", "src/store/reader.cpp", "(D ? next > bestEnd : next >= bestEnd)",
      "(D ? next >= bestEnd : next > bestEnd)", STORE),
    F("s17-reader-number-blank", "src/store/reader.cpp", "if (!t.Blanks.isEmpty() || t.Kind == tkEnd",
      "if (t.Kind == tkEnd", STORE),
    F("s18-reader-window", "src/store/reader.cpp", "for (int k = 1; k <= 5; ++k)", "for (int k = 1; k < 5; ++k)", STORE),
    F("s19-dlist-keep-rights", "src/store/dlist.cpp", "        tmp.setPermissions(QFile::permissions(FileName));\n", "", STORE),
    F("s20-dlist-keep-backup", "src/store/dlist.cpp", "if (!QFile::rename(FileName, backup))",
      "if (!QFile::rename(FileName, backup) && false)", STORE),
    F("s21-dlist-dispose", "src/store/dlist.cpp", "    if (props && OnDisposeStructure)\n", "    if (false)\n", STORE),
    F("s23-dlist-save-folder", "src/store/dlist.cpp", "    if (QFileInfo(FileName).isDir())\n        return fail(", "    if (false)\n        return fail(", STORE),
    F("s24-reader-case-key", "src/store/reader.cpp", "return (FCaseSensitivity ? Text : Text.toLower()).toStdString();",
      "return Text.toLower().toStdString();", STORE),
    F("s25-reader-wildcard-alone", "src/store/reader.cpp", "if (one == QString(OrWildCard) || one == QString(AndWildCard) || IsDelimiter(one))",
      "if (IsDelimiter(one))", STORE),
    F("s26-dlist-filter", "src/store/dlist.cpp", "    return enabled;\n", "    return enabled || true;\n", STORE),
    F("s22-cp1252-undefined", "src/tables/data/dbf/dbfcodec.cpp", "Cp1252 && b >= 0x80 && b < 0xA0 ? char16_t(b)",
      "Cp1252 && b >= 0x80 && b < 0x90 ? char16_t(b)", DATA),

    # ---- expr ----
    F("e01-compare-ge", "src/expr/parser.cpp", "case rowGE: return Cmp >= 0;", "case rowGE: return Cmp > 0;", EXPR),
    F("e02-compare-ne", "src/expr/parser.cpp", "case rowNE: return Cmp != 0;", "case rowNE: return Cmp == 0;", EXPR),
    F("e03-string-length-order", "src/expr/parser.cpp",
      "return A.size() < B.size() ? -1 : (A.size() > B.size() ? 1 : 0);",
      "return A.size() < B.size() ? 1 : (A.size() > B.size() ? -1 : 0);", EXPR),
    F("e04-div-minus-one", "src/expr/parser.cpp", "if (Operand == -1) {", "if (Operand == 1) {", EXPR),
    F("e05-round-half-even", "src/expr/builtins.cpp", "(rest == 0.5L && std::fmod(r, 2.0L) != 0)",
      "(rest == 0.5L)", EXPR),
    F("e06-copy-bound", "src/expr/builtins.cpp", "if (from >= s.size() || count <= 0)",
      "if (from > s.size() || count <= 0)", EXPR),
    F("e07-upper-z", "src/expr/builtins.cpp", "c >= u'a' && c <= u'z'", "c >= u'a' && c < u'z'", EXPR),
    F("e08-hex-digit", "src/expr/exprconv.cpp", "if (c >= u'a' && c <= u'f')", "if (c >= u'a' && c < u'f')", EXPR),
    F("e09-int-overflow", "src/expr/exprconv.cpp", "if (v > INT32_MAX || v < INT32_MIN)",
      "if (v > INT32_MAX)", EXPR),
    F("e10-float-exponent-digits", "src/expr/exprconv.cpp", "        if (expDigits == 0)\n", "        if (false)\n", EXPR),
    F("e11-general-exponent", "src/expr/exprconv.cpp", "if (exponent >= 15 || exponent < -4) {",
      "if (exponent >= 16 || exponent < -4) {", EXPR),
    F("e12-date-year", "src/expr/exprconv.cpp", "if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1)",
      "if (Year < 1 || Year > 9999 || Month < 1 || Month > 13 || Day < 1)", EXPR),
    F("e13-time-minutes", "src/expr/exprconv.cpp", "Min < 0 || Min > 59", "Min < 0 || Min > 60", EXPR),
    F("e19-retired-parser", "src/expr/adcalc.cpp", "if (FEvalDepth > 0)\n            FRetiredParsers.push_back(p);",
      "if (false)\n            FRetiredParsers.push_back(p);", EXPR),
    F("e20-variable-type", "src/expr/adcalc.cpp", "return v && v->VarType == Type ? v : nullptr;",
      "return v && (v->VarType == Type || true) ? v : nullptr;", EXPR),
    F("e21-compiled-cache", "src/expr/adcalc.cpp", "if (!FCachedParser || FCachedHandle != Handle) {", "if (!FCachedParser) {", EXPR),
    F("e22-reserved-word", "src/expr/adcalc.cpp", "if (r.Kind == 5 && !r.Name.isEmpty() && r.Name == key)",
      "if (r.Kind == 5 && !r.Name.isEmpty() && r.Name == key && false)", EXPR),
    F("e23-line-count", "src/expr/parser.cpp", "        if (R.Line < CurrentLine) {\n            R.Line = CurrentLine;\n            R.Position = 0;",
      "        if (R.Line < CurrentLine) {\n            R.Line = CurrentLine;", EXPR),
    F("e24-else-nesting", "src/expr/parser.cpp", "            else if (f & tcIf)\n                ++depth;", "            else if (f & tcIf)\n                depth += 0;", EXPR),
    F("e25-comment-swap", "src/expr/adcalc.cpp", "        if (hasRole(rowQuote, tcComment))\n            setRole(rowApostrophe, tcComment);",
      "        if (hasRole(rowQuote, tcComment))\n            ;", EXPR),
    F("e26-dictionary-type", "src/expr/adcalc.cpp", "if (v < etInteger || v > etDateTime) {", "if (v < etInteger) {", EXPR),
    F("e14-power-negative", "src/expr/parser.cpp", "    if (Exponent < 0) {\n        if (result == 0)",
      "    if (Exponent < -2) {\n        if (result == 0)", EXPR),
    F("e15-pos-empty", "src/expr/builtins.cpp", "sub.isEmpty() ? -1 : text.indexOf(sub)", "text.indexOf(sub)", EXPR),
    F("e16-incmonth-clamp", "src/expr/exprconv.cpp", "std::min(d, QDate(int(ny), nm, 1).daysInMonth())", "d", EXPR),
    F("e17-round-2to63", "src/expr/builtins.cpp", "if (!(r >= -TwoTo63 && r < TwoTo63))",
      "if (!(r >= -TwoTo63 && r <= TwoTo63))", EXPR),
    F("e18-frac-trunc", "src/expr/builtins.cpp", "R.E = x(0) - std::trunc(x(0));", "R.E = x(0) - std::floor(x(0));", EXPR),

    # ---- tables/data ----
    F("d01-conn-quotes", "src/tables/data/connection.cpp", "if (c == QLatin1Char(';') && !Quoted) {",
      "if (c == QLatin1Char(';')) {", DATA, SQL),
    F("d02-float-text-exponent", "src/tables/data/fieldtypes.cpp", "if (Exponent < -4 || Exponent >= 15) {",
      "if (Exponent < -5 || Exponent >= 15) {", DATA),
    F("d03-date-range", "src/tables/data/fieldtypes.cpp", "Value < -693593.0 || Value >= 2958466.0",
      "Value < -693593.0 || Value > 2958466.0", DATA),
    F("d04-rounding-next-day", "src/tables/data/fieldtypes.cpp", "if (Ms >= qint64(kMsPerDay)) {",
      "if (Ms > qint64(kMsPerDay)) {", DATA),
    F("d05-codec-trim", "src/tables/data/dbf/dbfcodec.cpp", "if (Bytes.size() <= Width)", "if (Bytes.size() < Width)", DATA),
    F("d06-copy-problems-kept", "src/tables/data/dbf/dbfcopy.cpp", "if (FProblems.size() < size_t(kKeptProblems))",
      "if (FProblems.size() <= size_t(kKeptProblems))", DATA),
    F("d07-copy-truncated", "src/tables/data/dbf/dbfcopy.cpp", "if (Kept.size() < Bytes.size())",
      "if (Kept.size() < Bytes.size() - 1)", DATA),
    F("d08-dbf-leap", "src/tables/data/dbf/dbftable.cpp",
      "const bool Leap = (Year % 4 == 0 && Year % 100 != 0) || Year % 400 == 0;",
      "const bool Leap = Year % 4 == 0;", DATA),
    F("d09-dbf-pad-number", "src/tables/data/dbf/dbftable.cpp",
      "std::memcpy(Field + Layout.Width - Text.size(), Text.constData(), size_t(Text.size()));",
      "std::memcpy(Field, Text.constData(), size_t(Text.size()));", DATA),
    F("d10-dataset-int-range", "src/tables/data/dataset.cpp",
      "if (!(Number >= -2147483648.0 && Number <= 2147483647.0))",
      "if (!(Number >= -2147483648.0 && Number < 2147483647.0))", DATA),
    F("d11-dataset-descending", "src/tables/data/dataset.cpp", "            return a.Prefix < b.Prefix;\n",
      "            return a.Prefix > b.Prefix;\n", DATA),
    F("d12-sql-bool-words", "src/tables/data/sql/sqlvalues.cpp",
      "if (Word == \"T\" || Word == \"Y\" || Word == \"TRUE\" || Word == \"YES\" || Word == \"1\")",
      "if (Word == \"T\" || Word == \"TRUE\" || Word == \"YES\" || Word == \"1\")", SQL),
    F("d13-sql-date-8", "src/tables/data/sql/sqlvalues.cpp", "if (!Date.isValid() && Text.size() == 8)",
      "if (!Date.isValid() && Text.size() == 9)", SQL),
    F("d14-mdb-text-null", "src/tables/data/mdb/mdbdatabase.cpp",
      "Start + Size > static_cast<int>(FMdb->fmt->pg_size)) {",
      "Start + Size > static_cast<int>(FMdb->fmt->pg_size) + 1) {", MDB),
    F("d15-mdb-bool", "src/tables/data/mdb/mdbdatabase.cpp", "FTable.AddInt(Field.is_null ? 0 : 1);",
      "FTable.AddInt(Field.is_null ? 1 : 0);", MDB, SQL),
    F("d16-writer-width", "src/tables/data/dbf/dbfwriter.cpp", "if (Width < 1 || Width > 255)",
      "if (Width < 1 || Width > 256)", DATA),
    F("d17-writer-number-fit", "src/tables/data/dbf/dbfwriter.cpp", "if (Full.size() <= Width)",
      "if (Full.size() < Width)", DATA),
    F("d18-dbf-month", "src/tables/data/dbf/dbftable.cpp", "Month < 1 || Month > 12 || Day < 1 ||",
      "Month < 1 || Month > 13 || Day < 1 ||", DATA),
    F("d19-dbf-header-length", "src/tables/data/dbf/dbftable.cpp",
      "if (HeaderLength < 33 || HeaderLength > FSize)", "if (HeaderLength < 33)", DATA),
    F("d20-dbf-memo-block64", "src/tables/data/dbf/dbftable.cpp", "if (Block >= 64 && Block % 64 == 0)",
      "if (Block > 64 && Block % 64 == 0)", DATA),
    F("d21-locate-case", "src/tables/data/dataset.cpp",
      "Options & loCaseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;",
      "Options & loCaseInsensitive ? Qt::CaseInsensitive : Qt::CaseInsensitive;", DATA),
    F("d22-locate-partial", "src/tables/data/dataset.cpp",
      "Match = Options & loPartialKey ? Stored.startsWith(Text, Case)",
      "Match = Options & loPartialKey ? Stored.contains(Text, Case)", DATA),
    F("d23-enable-controls", "src/tables/data/dataset.cpp", "if (FDisabled == 0 || --FDisabled > 0)",
      "if (FDisabled == 0 || --FDisabled > 1)", DATA),
    F("d24-dataset-next", "src/tables/data/dataset.cpp", "if (FCurrent + 1 < int64_t(FRows.size())) {",
      "if (FCurrent + 2 < int64_t(FRows.size())) {", DATA),
    F("d25-copy-quoted", "src/tables/data/dbf/dbfcopy.cpp", "if (Text.size() <= kQuoted)",
      "if (Text.size() < kQuoted + 100)", DATA),
    F("d26-float-general-digits", "src/tables/data/fieldtypes.cpp", "    if (Count > 15 || p == End)",
      "    if (Count > 16 || p == End)", DATA),
    F("d27-rows-insert-order", "src/tables/data/dataset.cpp", "        FAscending = false;\n    FRows.insert",
      "    FRows.insert", DATA),
    F("d28-rows-erase-last", "src/tables/data/dataset.cpp", "if (FIdentity && At + 1 == FCount) {",
      "if (FIdentity && At < FCount) {", DATA),
    F("d29-rows-insert-end", "src/tables/data/dataset.cpp",
      "if (FIdentity && At == FCount && Row == int64_t(FCount)) {", "if (FIdentity && Row == int64_t(FCount)) {", DATA),
    F("d30-natural-order-kept", "src/tables/data/dataset.cpp", "    if (FRows.Ascending())\n        return FRows;",
      "    if (true)\n        return FRows;", DATA),
    F("d31-rows-find-sorted", "src/tables/data/dataset.cpp", "FAscending ? std::lower_bound", "true ? std::lower_bound",
      DATA),
    F("d32-rows-store", "src/tables/data/dataset.cpp", "Rows.push_back(uint32_t(Row));",
      "Rows.push_back(uint32_t(Row + 1));", DATA),
    F("d57-sql-rowid-end", "src/tables/data/sql/sqlengine.cpp", "if (Row >= 0 && Row < C->End)",
      "if (Row >= 0 && Row <= C->End)", SQL),
    F("d58-sql-undo-set", "src/tables/data/sql/sqlengine.cpp", "            Tab->Undo.push_back({TUndo::Set, Row, I, Old});\n", "", SQL),
    F("d59-sql-no-attach", "src/tables/data/sql/sqlengine.cpp", "    case SQLITE_RECURSIVE: return SQLITE_OK;",
      "    case SQLITE_ATTACH:\n    case SQLITE_RECURSIVE: return SQLITE_OK;", SQL),
    F("d60-mdb-memo-room", "src/tables/data/mdb/mdbdatabase.cpp", "static_cast<size_t>(Length) * 3 + 16);",
      "static_cast<size_t>(Length) * 0 + 16);", MDB),
    F("d61-mdb-table-case", "src/tables/data/mdb/mdbdatabase.cpp", "compare(Name, Qt::CaseInsensitive) == 0) {",
      "compare(Name, Qt::CaseSensitive) == 0) {", MDB, SQL),
    F("d62-sort-desc-ties", "src/tables/data/dataset.cpp", "return a.Value > b.Value || (a.Value == b.Value && a.Row < b.Row);",
      "return a.Value > b.Value || (a.Value == b.Value && a.Row > b.Row);", DATA),
    F("d63-sort-bool-key", "src/tables/data/dataset.cpp", "(V.toBool() ? 1.0 : 0.0)", "(V.toBool() ? 0.0 : 1.0)", DATA),
    F("d64-sort-brackets", "src/tables/data/dataset.cpp", "if (Name.startsWith(QLatin1Char('[')) && Name.endsWith(QLatin1Char(']')))",
      "if (false)", DATA),
    F("d65-view-deleted", "src/tables/data/dataset.cpp", "        if (FSource->IsDeleted(Row))\n            continue;\n        if (Filter) {",
      "        if (Filter) {", DATA),
    F("d66-writer-dup-name", "src/tables/data/dbf/dbfwriter.cpp", "if (Names.contains(Name))", "if (false)", DATA),
    F("d67-writer-memo-flag", "src/tables/data/dbf/dbfwriter.cpp", "char(HasMemo ? 0x83 : 0x03)", "char(0x03)", DATA),
    F("d68-writer-minus-zero", "src/tables/data/dbf/dbfwriter.cpp", "            Text.remove(0, 1); // nothing but zeros after rounding\n", "", DATA),
    F("d69-writer-number-logical", "src/tables/data/dbf/dbfwriter.cpp", "Value.Float == 0 ? QStringLiteral(\"F\") : QStringLiteral(\"T\")",
      "Value.Float == 0 ? QStringLiteral(\"T\") : QStringLiteral(\"F\")", DATA),
    F("d70-dbf-logical-y", "src/tables/data/dbf/dbftable.cpp", "    case 'Y':\n    case 'y': return true;", "    case 'y': return true;", DATA),
    F("d71-dbf-memo-double-end", "src/tables/data/dbf/dbftable.cpp", "if (Next < Rest.size() && Rest[Next] == '\\x1A')",
      "if (Next < Rest.size() && Rest[Next] == '\\x1B')", DATA),
    F("d72-encode-way-back", "src/tables/data/dbf/dbfcodec.cpp", "    if (Decode(Bytes) != Text)\n        return std::nullopt;\n", "", DATA),
    F("d73-locale-baltic", "src/tables/data/dbf/dbfcodec.cpp", "case QLocale::Lithuanian: Ansi = {1257, 0xCC}; break;",
      "case QLocale::Lithuanian: Ansi = {1257, 0xCB}; break;", DATA),
    F("d74-group-separator", "src/tables/data/fieldtypes.cpp", "Locale.setNumberOptions(Locale.numberOptions() | QLocale::RejectGroupSeparator);",
      "Locale.setNumberOptions(Locale.numberOptions());", DATA),
    F("d75-replace-rollback", "src/tables/data/tablefiles.cpp", "        QFile::rename(It->second, It->first);\n", "        (void)It->first;\n", DATA),
    F("d76-copy-memo-open", "src/tables/data/dbf/dbfcopy.cpp", "if (!Memo.open(QIODevice::ReadWrite | QIODevice::Unbuffered))",
      "if (!Memo.open(QIODevice::ReadWrite | QIODevice::Unbuffered) && false)", DATA),
    F("d78-sql-open-once", "src/tables/data/sql/sqlengine.cpp", "    if (Source)\n        FOpened.emplace(Resolved, Source);",
      "    if (Source)\n        (void)Resolved;", SQL),
    F("d79-ole-carry", "src/tables/data/sql/memorytable.cpp", "    if (Ms >= MsPerDay) {\n        Ms -= MsPerDay;", "    if (Ms > MsPerDay) {\n        Ms -= MsPerDay;", SQL),
    F("d80-ole-negative", "src/tables/data/sql/memorytable.cpp", "return Day >= 0 ? Day + Fraction : Day - Fraction;", "return Day + Fraction;", SQL),
    F("d81-declared-decimals", "src/tables/data/sql/sqlvalues.cpp", "            Field.Decimals = Match.captured(3).toInt();\n", "", SQL),
    F("d82-sql-read-only", "src/tables/data/sql/sqlengine.cpp", "        if (Source.ReadOnly())\n            throw EDatabaseError(Source.ReadOnlyReason());",
      "        if (Source.ReadOnly() && false)\n            throw EDatabaseError(Source.ReadOnlyReason());", SQL),
    F("d83-infer-large", "src/tables/data/sql/sqlvalues.cpp", "Large = Large || Value < INT32_MIN || Value > INT32_MAX;", "Large = Large || Value < INT32_MIN;", SQL),

    # ---- tables/calc ----
    F("c01-calc-digit-name", "src/tables/calc/calcfields.cpp",
      "if (Text[0] >= QLatin1Char('0') && Text[0] <= QLatin1Char('9'))",
      "if (Text[0] > QLatin1Char('0') && Text[0] <= QLatin1Char('9'))", CALC),
    F("c02-calc-tilde", "src/tables/calc/calcfields.cpp",
      "FReader.IsDelimiter(Ch) || Ch == QLatin1Char('~')", "FReader.IsDelimiter(Ch)", CALC),
    F("c03-recordvar-bool", "src/tables/calc/recordvars.cpp", "case expr::etBoolean: return Type == ftBoolean;",
      "case expr::etBoolean: return Type != ftBoolean;", CALC),
    F("c04-recordvar-datetime", "src/tables/calc/recordvars.cpp",
      "return Type == ftDate || Type == ftTime || Type == ftDateTime;",
      "return Type == ftDate || Type == ftDateTime;", CALC),
    F("c05-recordvar-slots", "src/tables/calc/recordvars.cpp", "if (FSlots.size() >= kMaxSlots)",
      "if (FSlots.size() > kMaxSlots)", CALC),
    F("c06-filter-question", "src/tables/calc/recordvars.cpp",
      "FFilterActive = !(AskYesNo && AskYesNo(Message + FilterQuestion));",
      "FFilterActive = !(AskYesNo && AskYesNo(Message));", CALC),
    F("c07-mailing-stop", "src/tables/calc/recordvars.cpp",
      "        if (StopPreparing)\n            StopPreparing();\n", "", CALC),
    F("c08-filter-place", "src/tables/calc/recordvars.cpp", "if (Handle == hMainFilter && OnFilterError)",
      "if (OnFilterError)", CALC),
    F("c09-error-innermost", "src/tables/calc/recordvars.cpp",
      "FEvalStack.isEmpty() ? QString() : FEvalStack.last();",
      "FEvalStack.isEmpty() ? QString() : FEvalStack.first();", CALC),
    F("c10-recordvar-float", "src/tables/calc/recordvars.cpp",
      "case expr::etExtended: return Type == ftFloat || Type == ftCurrency;",
      "case expr::etExtended: return Type == ftFloat || Type == ftCurrency || Type == ftDateTime;", CALC),
    F("c11-calc-list-kind", "src/tables/calc/calcfields.cpp",
      "if (FDListScanMode == 1 && Structure == kExprKind)",
      "if (FDListScanMode == 1 && Structure >= 0)", CALC),
    F("c12-calc-delete-type", "src/tables/calc/calcfields.cpp", "    FStore.Delete(CalcTypePrefix + Upper);\n", "", CALC),
    F("c13-filter-accept", "src/tables/calc/recordvars.cpp", "            Accept = Value;", "            Accept = !Value;", CALC),
    F("c14-filter-latch-reset", "src/tables/calc/recordvars.cpp", "    FCalcError = false;\n    FInFilter = true;",
      "    FInFilter = true;", CALC),
    F("c15-text-equals", "src/tables/calc/recordvars.cpp", "return Text == Ascii ? 1 : 0;",
      "return Text.startsWith(Ascii) ? 1 : 0;", CALC),
    F("c16-mailing-message", "src/tables/calc/recordvars.cpp",
      "            StopPreparing();\n        if (ShowError)\n            ShowError(Message);", "            StopPreparing();", CALC),
    F("c17-now-case", "src/tables/calc/recordvars.cpp", "if (FunctName.toLower() != QLatin1String(\"now\"))",
      "if (FunctName != QLatin1String(\"now\"))", CALC),
    F("c18-calc-type-row", "src/tables/calc/recordvars.cpp", "if (FCalcFields.TypeCode(Name, Type) && Type == Row)",
      "if (FCalcFields.TypeCode(Name, Type))", CALC),
    F("c19-parser-stale", "src/tables/calc/recordvars.cpp",
      "(!Entry->Expression.isSharedWith(Expression) && Entry->Expression != Expression)", "false", CALC),
    F("c20-bytes-date-kind", "src/tables/calc/recordvars.cpp", "(Kind == 'D' && Type == ftDate)", "(Kind == 'D' && false)", CALC),

    # ---- tables (workspace) ----
    F("w01-layout-int", "src/tables/gridlayout.cpp", "if (FData.size() - FPos < 4)", "if (FData.size() - FPos < 3)", WS,
      "fuzz_gridlayout"),
    F("w02-layout-sortname", "src/tables/gridlayout.cpp",
      "Length < 0 || Length >= kMaxLayoutSortName)", "Length < 0 || Length > kMaxLayoutSortName)", WS),
    F("w03-layout-width", "src/tables/gridlayout.cpp", "if (Match && GridWidth >= 1)", "if (Match && GridWidth >= 0)", WS),
    F("w04-layout-picklist", "src/tables/gridlayout.cpp",
      "Entries < 0 || Entries > kMaxPickList)", "Entries < 0 || Entries > kMaxPickList + 1)", WS),
    F("w05-restruct-moveup", "src/tables/restructure.cpp", "if (Index < 1 || Index >= int(FFieldDefs.size()))",
      "if (Index < 0 || Index >= int(FFieldDefs.size()))", WS, SAVEAS, RESTRUCT_UI),
    F("w06-restruct-size", "src/tables/restructure.cpp", "if (Size > 254)", "if (Size > 255)", WS, SAVEAS, RESTRUCT_UI),
    F("w07-restruct-dup", "src/tables/restructure.cpp", "if (i != Index && Upper(FFieldDefs[size_t(i)].Name) == Wanted)",
      "if (i != Index - Index - 1 && Upper(FFieldDefs[size_t(i)].Name) == Wanted)", WS, SAVEAS,
      RESTRUCT_UI),
    F("w08-fieldinfo-width", "src/tables/fieldinfo.cpp", "if (Length > R.EditWidth) {", "if (Length > R.EditWidth + 1) {", WS),
    F("w09-records-recno", "src/tables/recordcommands.cpp", "if (FEditRecNo > 0 && FEditRecNo <= Q.RecordCount())",
      "if (FEditRecNo > 0 && FEditRecNo < Q.RecordCount())", WS),
    F("w10-records-find-wrap", "src/tables/recordcommands.cpp", "if (Q.RecNo() <= Before)", "if (Q.RecNo() < Before)", WS),
    F("w11-records-confirm-no", "src/tables/recordcommands.cpp", "if (Answer == daNo)", "if (Answer != daNo)", WS),
    F("w30-records-delete-recno", "src/tables/recordcommands.cpp", "Q.SetRecNo(std::min(RecNo, Q.RecordCount()));",
      "Q.SetRecNo(1);", WS),
    F("w31-records-find-column", "src/tables/recordcommands.cpp",
      "        FWs.SetCurrentColumn(Field->Index());", "        (void)Field;", WS),
    F("w32-records-find-memo", "src/tables/recordcommands.cpp", "if (Kind != dtL && Kind != dtM)", "if (Kind != dtL)", WS),
    F("w33-records-dup-start", "src/tables/recordcommands.cpp", "if (!Found && Start > 0)", "if (false)", WS),
    F("w34-records-others-pending", "src/tables/recordcommands.cpp", "        if (OthersPending) {", "        if (OthersPending && false) {", WS),
    F("w35-saveas-sort", "src/tables/saveas.cpp", "    FWorkspace.FSortField = SortField;\n", "", SAVEAS),
    F("w36-saveas-gridwidth", "src/tables/saveas.cpp", "if (Def.GridWidth > 0)", "if (Def.GridWidth > 100000)", SAVEAS),
    F("w37-saveas-suffix", "src/tables/saveas.cpp", "    if (QFileInfo(Target).suffix().isEmpty())\n", "    if (false)\n", SAVEAS),
    F("w38-saveas-rollback-reopen", "src/tables/saveas.cpp", "        if (WasTable) {", "        if (WasTable && false) {", SAVEAS),
    F("w39-saveas-loss", "src/tables/saveas.cpp", "if (Copy.ProblemCount() > 0 &&", "if (Copy.ProblemCount() < 0 &&", SAVEAS),
    F("w40-layout-autocomplete", "src/tables/gridlayout.cpp", "            F.Autocomplete = Autocomplete;", "            (void)Autocomplete;", WS),
    F("w41-layout-pick-dup", "src/tables/gridlayout.cpp", "if (Match && !F.PickList.contains(Entry))", "if (Match)", WS),
    F("w42-reopen-template", "src/tables/workspace.cpp", "            F.Template = Saved[i].Template;\n", "", WS),
    F("w43-reopen-column", "src/tables/workspace.cpp", "            SetCurrentColumn(Column);", "            (void)Column;", WS),
    F("w44-layout-grid-widths", "src/tables/workspace.cpp", "        if (Width > 0)\n            FieldInfo[i].GridWidth = Width;",
      "        if (Width > 100000)\n            FieldInfo[i].GridWidth = Width;", WS),
    F("w45-layout-file-name", "src/tables/workspace.cpp", "Table.suffix().size() - 1);", "Table.suffix().size());", WS),
    F("w46-restruct-movedown", "src/tables/restructure.cpp", "if (Index < 0 || Index + 1 >= int(FFieldDefs.size()))",
      "if (Index < 0 || Index + 1 > int(FFieldDefs.size()))", WS, SAVEAS, RESTRUCT_UI),

    # ---- tables/ui ----
    F("u01-editdb-check-text", "src/tables/ui/editdb.cpp",
      "return Check->isChecked() ? QStringLiteral(\"X\") : QStringLiteral(\" \");",
      "return Check->isChecked() ? QStringLiteral(\" \") : QStringLiteral(\"X\");", RECORDS_UI),
    F("u02-editdb-wrap", "src/tables/ui/editdb.cpp", "if (i > 0 && x + w + 30 > Width) {", "if (i > 1 && x + w + 30 > Width) {",
      RECORDS_UI),
    F("u03-restruct-move-up", "src/tables/ui/restructform.cpp", "if (List.MoveUp(Row)) {\n        SelectRow(Row - 1);",
      "if (List.MoveUp(Row)) {\n        SelectRow(Row);", RESTRUCT_UI),
    F("u04-calc-dup-name", "src/tables/ui/calcfieldpage.cpp", "if (ListBox1->item(i)->text() == Upper) {",
      "if (ListBox1->item(i)->text() == Text) {", CALC_UI),
    F("w12-ws-ext-case", "src/tables/workspace.cpp", "QFileInfo(FileName).suffix().toLower();",
      "QFileInfo(FileName).suffix();", WS),
    F("w13-ws-sort-desc", "src/tables/workspace.cpp", "(Descended ? QStringLiteral(\" DESC\") : QStringLiteral(\" ASC\"))",
      "(Descended ? QStringLiteral(\" ASC\") : QStringLiteral(\" DESC\"))", WS),
    F("w14-ws-memo-title", "src/tables/workspace.cpp", "if (Field.DataType() == ftMemo)\n        return false;",
      "if (Field.DataType() == ftBlob)\n        return false;", WINDOW_UI),
    F("w15-ws-reopen-sort", "src/tables/workspace.cpp", "        FSortField = SortField;\n        Descended = Descending;",
      "        Descended = Descending;", WS),
    F("w16-ws-write-error-once", "src/tables/workspace.cpp",
      "if (FReportedWriteErrors.contains(FileName))\n        return;", "", WS),
    F("w17-ws-gone-sort", "src/tables/workspace.cpp", "!FQuery->FindField(FSortField)) {\n        FSortField.clear();",
      "!FQuery->FindField(FSortField)) {\n        FSortField.size();", WS),
    F("w18-ws-sql-no-layout", "src/tables/workspace.cpp", "if (SqlQueryMode == 1 || TableName.isEmpty())",
      "if (TableName.isEmpty())", WS),
    F("w19-records-find-partial", "src/tables/recordcommands.cpp", "Including ? loPartialKey : 0",
      "(Including && false) ? loPartialKey : 0", WS),
    F("w20-records-null-logical", "src/tables/recordcommands.cpp", "Q.Fields(int(i)).SetAsBoolean(false);",
      "Q.Fields(int(i)).SetAsBoolean(true);", WS),
    F("w21-records-dup-empty", "src/tables/recordcommands.cpp", "Equal = !Text.isEmpty() &&", "Equal =", WS),
    F("w22-fieldinfo-empty-pick", "src/tables/fieldinfo.cpp", "!Text.isEmpty() &&\n                    !R.PickList.contains(Text)",
      "!R.PickList.contains(Text)", WS),
    F("w23-fieldinfo-records", "src/tables/fieldinfo.cpp", "Seen < kPickListRecords", "Seen <= kPickListRecords", WS),
    F("w24-fieldinfo-prepend", "src/tables/fieldinfo.cpp", "R.PickList.prepend(Text);", "R.PickList.append(Text);", WS),
    F("w25-saveas-template", "src/tables/saveas.cpp", "Info[i].Template = Def.Template;", "", SAVEAS),
    F("w26-saveas-rights", "src/tables/saveas.cpp", "QFile::setPermissions(New[i], QFile::permissions(Target));",
      "(void)New[i];", SAVEAS),
    F("w27-sql-kind", "src/tables/sqlstatement.cpp", "suffix().isEmpty() ? sdDbase : sdAccess",
      "suffix().isEmpty() ? sdAccess : sdDbase", WS),
    F("w28-sql-failed-mode", "src/tables/sqlstatement.cpp", "if (!Opened)\n            Workspace.SqlQueryMode = 0;", "",
      WS),
    F("w29-layout-name-case", "src/tables/gridlayout.cpp", "Locale.toLower(EntryName) == Locale.toLower(Names[i])",
      "EntryName == Names[i]", WS),
    F("u05-editdb-cursor-start", "src/tables/ui/editdb.cpp", "Combo->lineEdit()->setCursorPosition(0);", "", RECORDS_UI),
    F("u06-editdb-number-width", "src/tables/ui/editdb.cpp",
      "return std::max(R->EditWidth, NumberChars(Q.Fields(Field)));", "return std::max(R->EditWidth, 0 * NumberChars(Q.Fields(Field)));", RECORDS_UI),
    F("u07-editdb-new-editing", "src/tables/ui/editdb.cpp", "NewButton->setEnabled(Open && !Editing && C.CanAdd());",
      "NewButton->setEnabled(Open && C.CanAdd());", RECORDS_UI),
    F("u08-editdb-delete-readonly", "src/tables/ui/editdb.cpp", "DeleteButton->setEnabled(C.CanDelete());",
      "DeleteButton->setEnabled(Open);", RECORDS_UI),
    F("u09-editdb-readonly-once", "src/tables/ui/editdb.cpp", "if (!FReadOnlyReported) {", "if (true) {", RECORDS_UI),
    F("u10-editdb-backspace", "src/tables/ui/editdb.cpp", "Key->key() != Qt::Key_Backspace &&", "", RECORDS_UI),
    F("u11-editdb-template-only", "src/tables/ui/editdb.cpp", "if (R.Template && !Q.Fields(i).IsNull()) {",
      "if (!Q.Fields(i).IsNull()) {", RECORDS_UI),
    F("u12-editdb-close-cancel", "src/tables/ui/editdb.cpp", "if (Answer == QMessageBox::Cancel)\n            return;", "",
      RECORDS_UI),
    F("u13-grid-sorted-colour", "src/tables/ui/gridmodel.cpp", "Q.Fields(Index.column()).FieldName() == FWorkspace.FSortField",
      "Q.Fields(Index.column()).FieldName() != FWorkspace.FSortField", WINDOW_UI),
    F("u14-grid-insert-rows", "src/tables/ui/gridmodel.cpp", "if (Rows > FRows) {", "if (Rows > FRows + 1) {", WINDOW_UI),
    F("u15-grid-click-recno", "src/tables/ui/recordgrid.cpp", "Q.SetRecNo(Row + 1);", "Q.SetRecNo(Row);", WINDOW_UI),
    F("u16-copyopt-filtered", "src/tables/ui/restructform.cpp", "CheckBox2->setEnabled(CheckBox1->isChecked() && MainFiltered);",
      "CheckBox2->setEnabled(CheckBox1->isChecked());", RESTRUCT_UI),
    F("u17-restruct-grid-width", "src/tables/ui/restructform.cpp",
      "if (const int Width = FWorkspace.GetColumnWidth(int(i)); Width > 0)",
      "if (const int Width = FWorkspace.GetColumnWidth(int(i)); Width > 100000)", RESTRUCT_UI),
    F("u18-filter-caret", "src/tables/ui/filterpage.cpp", "Cursor.setPosition(qBound(0, Place,",
      "Cursor.setPosition(qBound(0, Place - 1,", CALC_UI),
    F("u19-sqlform-extension", "src/tables/ui/sqlform.cpp",
      "const QString FileName = SqlFileName(Dialog.selectedFiles().constFirst());",
      "const QString FileName = Dialog.selectedFiles().constFirst();", RECORDS_UI),
    F("u20-seltab-double-click", "src/tables/ui/seltabform.cpp", "if (Select->isEnabled())\n            Select->click();", "",
      WINDOW_UI),
    F("u21-editform-stays-open", "src/tables/ui/restructform.cpp", "            return; // the dialog stays open with the user's input\n", "", RESTRUCT_UI),
    F("u22-restruct-cancel-add", "src/tables/ui/restructform.cpp", "        Button4Click(); // the new row goes again\n", "        ;\n", RESTRUCT_UI),
    F("u23-copyopt-sorted", "src/tables/ui/restructform.cpp", "CheckBox3->setEnabled(CheckBox1->isChecked() && MainSorted);",
      "CheckBox3->setEnabled(CheckBox1->isChecked());", RESTRUCT_UI),
    F("u24-restruct-suffix", "src/tables/ui/restructform.cpp", "    SaveDialog1.setDefaultSuffix(QStringLiteral(\"dbf\"));\n", "", RESTRUCT_UI),
    F("u25-restruct-no-fields", "src/tables/ui/restructform.cpp", "if (List.FFieldDefs.empty()) {\n        ErrorBox", "if (false) {\n        ErrorBox",
      RESTRUCT_UI),

    # ---- composer ----
    F("p01-attach-crlf", "src/composer/attachments.cpp",
      "if (End < N && Text[End] == u'\\r' && End + 1 < N && Text[End + 1] == u'\\n')",
      "if (End < N && Text[End] == u'\\r' && End + 1 < N && Text[End + 1] == u'\\r')", COMPOSER),
    F("p02-attach-index", "src/composer/attachments.cpp", "if (Index < 0 || Index >= L.size())",
      "if (Index < 0 || Index > L.size())", COMPOSER),
    F("p03-value-general", "src/composer/valuetext.cpp", "if (Exponent >= 15 || Exponent < -4) {",
      "if (Exponent >= 15 || Exponent < -5) {", COMPOSER),
    F("p04-value-carry", "src/composer/valuetext.cpp", "if (Kept >= 1000000000000000ull) {",
      "if (Kept > 1000000000000000ull) {", COMPOSER),
    F("p05-value-zeros", "src/composer/valuetext.cpp", "    Zeros += Rest % 10 == 0;\n", "", COMPOSER),
    F("p06-project-default-charset", "src/composer/project.cpp",
      "        if (Charset < 0 || Charset >= CharsetCount)\n            Charset = DefaultCharsetIndex;\n", "", COMPOSER),
    F("p07-mailviews-format", "src/composer/mailviews.cpp", "if (FHtmlChanged && !FSourceChanged)",
      "if (FHtmlChanged)", COMPOSER_CORE),
    F("p08-merge-name-length", "src/composer/merge.cpp", "Rest += Name->Length;", "Rest += Name->Length - 1;",
      COMPOSER),
    F("p09-merge-eval-stack", "src/composer/merge.cpp", "~TPop() { Stack.removeLast(); }", "~TPop() {}",
      COMPOSER),
    F("p10-merge-null-number", "src/composer/merge.cpp", "    if (p == End)\n        return -1;",
      "    if (p == End) {\n        Out[0] = '0';\n        return 1;\n    }", COMPOSER),
    F("p11-merge-no-date", "src/composer/merge.cpp", "Result = !Text.isEmpty();", "Result = true;",
      COMPOSER),
    F("p11b-merge-record-ascii", "src/composer/merge.cpp",
      "const bool Ascii = asciiBytes(At, Size);", "const bool Ascii = asciiBytes(At, Size) || Size;",
      COMPOSER),
    F("p11c-merge-record-blanks", "src/composer/merge.cpp",
      "return Width - std::countl_zero(Other) / 8;", "return Width - std::countl_zero(Other) / 8 - 1;",
      COMPOSER),
    F("p11d-value-float-point", "src/composer/valuetext.cpp", "if (Plain[i] == '.') {",
      "if (Plain[i] == ',') {", COMPOSER),
    F("p11e-value-small-general", "src/composer/valuetext.cpp", "n += 1 - Exponent + Count;",
      "n += -Exponent + Count;", COMPOSER),
    F("p11g-merge-number-zeros", "src/composer/merge.cpp", "    while (Digits[Last] == '0')\n        --Last;\n",
      "", COMPOSER),
    F("p11h-merge-number-exponent", "src/composer/merge.cpp", "if (Exponent < -4 || Exponent >= 15)\n        return 0;",
      "if (Exponent < -5 || Exponent >= 15)\n        return 0;", COMPOSER),
    F("p11i-merge-number-digits", "src/composer/merge.cpp", "if (p != End || Count > 15 || Decimals > 22)",
      "if (p != End || Count > 16 || Decimals > 22)", COMPOSER),
    F("p11f-field-null-row", "src/tables/data/dataset.cpp",
      "return Row >= 0 ? FDataSet.FSource->IsNull(Row, FIndex) : !Value().isValid();",
      "return Row >= 0 ? false : !Value().isValid();", COMPOSER),
    F("p12-project-doc-sum", "src/composer/project.cpp", "    if (FDocChecksum.isEmpty())\n        FDocChecksum",
      "    FDocChecksum", COMPOSER),
    F("p13-project-keep-name", "src/composer/project.cpp", "        ProjectFileName = Previous;", "", COMPOSER),
    F("p14-project-first-table", "src/composer/project.cpp",
      "            if (Result.Table.isEmpty())\n                Result.Table", "            Result.Table", COMPOSER),
    F("p15-preview-head-step", "src/composer/preview.cpp", "for (int i = 0; i < 2; ++i)",
      "for (int i = 0; i < 1; ++i)", COMPOSER_CORE),
    F("p16-preview-utf7", "src/composer/preview.cpp", "Lower == QLatin1String(\"utf-7\") ||", "",
      COMPOSER_CORE),
    F("p17-preview-dirty-on-error", "src/composer/preview.cpp", "        FPreviewDirty = true;\n        if (Error)",
      "        if (Error)", COMPOSER_CORE),
    F("p18-attach-select", "src/composer/attachments.cpp", "std::min(Index, int(L.size()) - 1)",
      "std::min(Index, int(L.size()))", COMPOSER),
    F("p19-dom-exec-same", "src/composer/domwork.cpp",
      "    if (V.isValid() && V == NamedValue(Name, Value))\n        return;\n", "", COMPOSER_CORE),
    F("p20-dom-init-push", "src/composer/domwork.cpp", "if (Ready && !M.value(QStringLiteral(\"init\")).toBool())",
      "if (Ready)", COMPOSER_CORE),
    F("p21-dom-last-width", "src/composer/domwork.cpp", "                CellWidth += W - Used;\n", "",
      COMPOSER_CORE),
    F("p22-dom-keep-html", "src/composer/domwork.cpp", "    if (Html.typeId() == QMetaType::QString)\n        FLastHtml",
      "    FLastHtml", COMPOSER_CORE),
    F("p23-dom-enabled-bit", "src/composer/domwork.cpp", "Enabled = (S & 2) != 0;", "Enabled = (S & 1) != 0;",
      COMPOSER_CORE),
    F("p24-dom-stale-timeout", "src/composer/domwork.cpp", "    if (TimedOut)\n        return Disabled;\n", "",
      COMPOSER_CORE),
    F("p25-js-event-attrs", "resources/composer/domwork.js",
      "if (n.startsWith('on') || /^\\s*(javascript|vbscript):/i.test(a.value))",
      "if (/^\\s*(javascript|vbscript):/i.test(a.value))", COMPOSER_GUI),
    F("p26-js-merge-rowspan", "resources/composer/domwork.js", "first.rowSpan = box.r1 - box.r0 + 1;",
      "first.rowSpan = box.r1 - box.r0;", COMPOSER_GUI),
    F("p27-js-empty-rows", "resources/composer/domwork.js", "td.rowSpan = Math.max(1, td.rowSpan - 1);",
      "td.rowSpan = Math.max(1, td.rowSpan);", COMPOSER_GUI),
    F("p28-dialog-step", "src/composer/ui/editordialogs.cpp", "qBound(FMin, V + Delta, FMax)",
      "qBound(FMin, V - Delta, FMax)", COMPOSER_WIN),
    F("p29-mailviews-complete", "src/composer/mailviews.cpp", "    FDomWork->Ready = true;\n    FHtmlChanged = false;\n",
      "    FDomWork->Ready = true;\n", COMPOSER_CORE),
    F("p30-cmdline-first-project", "src/composer/project.cpp",
      "            if (Result.Project.isEmpty())\n                Result.Project", "            Result.Project", COMPOSER),
    F("p31-cmdline-ext-case", "src/composer/project.cpp", "QFileInfo(Argument).suffix().toLower();",
      "QFileInfo(Argument).suffix();", COMPOSER),
    F("p32-save-target", "src/composer/project.cpp", "suffix().isEmpty() ? FileName + QStringLiteral(\".qfx\") : FileName;",
      "suffix().isEmpty() ? FileName : FileName + QStringLiteral(\".qfx\");", COMPOSER),
    F("p33-ask-yes", "src/composer/project.cpp", "case saYes: SaveProject(); return !FModified;",
      "case saYes: SaveProject(); return true;", COMPOSER),
    F("p34-attach-isfile", "src/composer/attachments.cpp", "if (!Info.isFile())", "if (!Info.exists())", COMPOSER),
    F("p35-attach-break", "src/composer/attachments.cpp", "if (!Text.endsWith(QLatin1Char('\\n')))\n                Text +=",
      "if (true)\n                Text +=", COMPOSER),
    F("p36-preview-escape", "src/composer/preview.cpp", "CrLf + Text.toHtmlEscaped() +", "CrLf + Text +", COMPOSER_CORE),
    F("p37-table-width-unit", "src/composer/domwork.cpp", "return InPixels ? Text : Text + QLatin1Char('%');",
      "return InPixels ? Text + QLatin1Char('%') : Text;", COMPOSER_CORE, COMPOSER_WIN),
    F("p38-color-blue", "src/composer/domwork.cpp", "Blue = (Value >> 16) & 255;", "Blue = (Value >> 8) & 255;",
      COMPOSER_CORE, COMPOSER_GUI),
    F("p39-js-refresh", "resources/composer/domwork.js",
      "if (/^\\s*refresh\\s*$/i.test(e.getAttribute('http-equiv')))", "if (false)", COMPOSER_GUI),
    F("p40-js-link-script", "resources/composer/domwork.js",
      "        if (/^\\s*(javascript|vbscript):/i.test(url))\n            return false;\n", "", COMPOSER_GUI),
    F("p41-js-image-alt", "resources/composer/domwork.js", "img.setAttribute('alt', attrs.alt);",
      "img.setAttribute('title', attrs.alt);", COMPOSER_GUI),
    F("p42-js-paste-clean", "resources/composer/domwork.js", "        e.preventDefault();\n        doc.execCommand('insertHTML', false, cleanHtml(h));",
      "        e.preventDefault();\n        doc.execCommand('insertHTML', false, h);", COMPOSER_GUI),
    F("p43-js-comments", "resources/composer/domwork.js", "case 8: return '<!--' + n.data + '-->';",
      "case 8: return '';", COMPOSER_GUI),
    F("p44-js-tab-back", "resources/composer/domwork.js", "(e.shiftKey ? -1 : 1)", "(e.shiftKey ? 1 : 1)",
      COMPOSER_WIN),
    F("p45-js-scripts", "resources/composer/domwork.js",
      "root.querySelectorAll('script').forEach(function (e) { e.remove(); });", "", COMPOSER_GUI),
    F("p46-js-doctype", "resources/composer/domwork.js", "t += new XMLSerializer().serializeToString(n);", "",
      COMPOSER_GUI),
    F("p47-js-body-attr", "resources/composer/domwork.js", "attrText(n, 'contenteditable')", "attrText(n, '')",
      COMPOSER_GUI),
    F("p48-bar-align-group", "src/shell/mainformcomposer.cpp",
      "if (Other != Item)\n                        Other->setChecked(false);", "(void)Other;", COMPOSER_WIN),
    F("p49-bar-lists-exclusive", "src/shell/mainformcomposer.cpp", "        NumList0->setChecked(false);\n", "",
      COMPOSER_WIN),
    F("p50-bar-font-size", "src/shell/mainformcomposer.cpp", "ComboBox8->currentText().toInt()",
      "ComboBox8->currentIndex()", COMPOSER_WIN),
    F("p51-bar-block-format", "src/shell/mainformcomposer.cpp",
      "        DomWork->SetBlockFormat(ComboBox5->currentText());\n", "", COMPOSER_WIN),
    F("p52-view-plain-editor", "src/shell/mainformcommands.cpp",
      "*States.MailFormat == 0 ? static_cast<QWidget *>(RxRichEdit2)",
      "*States.MailFormat == 1 ? static_cast<QWidget *>(RxRichEdit2)", COMPOSER_WIN),
    F("p53-view-source-shown", "src/shell/mainformcomposer.cpp", "    Views->SourceShown();\n    RxRichEdit1", "    RxRichEdit1",
      COMPOSER_WIN),
    F("p54-view-edit-shown", "src/shell/mainformcomposer.cpp", "    Views->EditShown();\n    (HtmlMode", "    (HtmlMode",
      COMPOSER_WIN),
    F("p55-preview-plain-body", "src/shell/mainformcomposer.cpp",
      "Html ? RxRichEdit1->toPlainText() : RxRichEdit2->toPlainText()", "RxRichEdit1->toPlainText()", COMPOSER_WIN),
    F("p56-preview-once", "src/shell/mainformcomposer.cpp", "    if (!Preview->FPreviewDirty)\n        return;\n    UpdatePreviewTo",
      "    UpdatePreviewTo", COMPOSER_WIN),
    F("p57-nav-states", "src/shell/mainformcomposer.cpp", "NavButtons[i]->setEnabled(States[i]);",
      "NavButtons[i]->setEnabled(true);", COMPOSER_WIN),
    F("p58-table-menu-row", "src/shell/mainformcomposer.cpp", "{InsertRow1, 5021}", "{InsertRow1, 5020}", COMPOSER_WIN),

    # ---- delivery ----
    F("m01-qp-line", "src/delivery/mimeencode.cpp", "if (Col + N > MaxLine - 1) {", "if (Col + N > MaxLine) {",
      DELIVERY + ":DeliveryMessage.*"),
    F("m02-qp-crlf", "src/delivery/mimeencode.cpp", "if (C == '\\r' && I + 1 < Size && In[I + 1] == '\\n') {",
      "if (C == '\\r' && I + 1 < Size) {", DELIVERY + ":DeliveryMessage.*"),
    F("m03-header-quote", "src/delivery/mimeencode.cpp", "if (C == '\"' || C == '\\\\')", "if (C == '\"')",
      DELIVERY + ":DeliveryMessage.*"),
    F("m04-qp-choice", "src/delivery/mimeencode.cpp", "{ return Size / 3 / 2; }", "{ return Size / 2; }", DELIVERY + ":DeliveryMessage.*"),
    F("m05-header-controls", "src/delivery/idmessage.cpp", "if (C.unicode() < 0x20 || C.unicode() == 0x7F)",
      "if (C.unicode() < 0x1F || C.unicode() == 0x7F)", DELIVERY + ":DeliveryMessage.*"),
    F("m06-address-length", "src/delivery/idmessage.cpp", "if (Address.toUtf8().size() > 900)",
      "if (Address.toUtf8().size() > 9000)", DELIVERY + ":DeliveryMessage.*"),
    F("m07-profile-empty", "src/delivery/profiles.cpp", "for (size_t I = 0; I + 1 < ProfileItems.size(); ++I)",
      "for (size_t I = 0; I + 2 < ProfileItems.size(); ++I)", DELIVERY + ":DeliveryProfiles.*"),
    F("m08-utf8-length", "src/delivery/charsets.cpp", "size_t N = B < 0x80 ? 1 : B < 0xE0 ? 2 : B < 0xF0 ? 3 : 4;",
      "size_t N = B < 0x80 ? 1 : B < 0xE0 ? 2 : B < 0xF8 ? 3 : 4;", DELIVERY + ":DeliveryMessage.*"),
    F("m09-dot-stuffing", "src/delivery/idsmtp.cpp", "        Out.append('.');\n        From = Dot + 2;",
      "        From = Dot + 2;", DELIVERY + ":DeliveryClient.*:DeliveryScriptedServer.*"),
    F("m10-empty-password", "src/delivery/idsmtp.cpp", "        if (!Password.isEmpty())\n            I.Authenticate",
      "        if (true)\n            I.Authenticate", DELIVERY + ":DeliveryClient.*"),
    F("m11-smtputf8-check", "src/delivery/idsmtp.cpp", "if (HasHighBytes(A) && !I.SmtpUtf8)",
      "if (HasHighBytes(A) && !I.SmtpUtf8 && A.isEmpty())", DELIVERY + ":DeliveryClient.*"),
    F("m12-lock-step", "src/delivery/idsmtp.cpp", "            if (I.Pipelining) {", "            if (true) {",
      DELIVERY + ":DeliveryScriptedServer.*"),
    F("m13-helo-fallback", "src/delivery/idsmtp.cpp", "if (R.Code >= 500 && R.Code < 600)",
      "if (R.Code >= 503 && R.Code < 600)", DELIVERY + ":DeliveryClient.*"),
    F("m14-resend-after-data", "src/delivery/idsmtp.cpp", "            if (DataSent)\n", "            if (DataSent && false)\n",
      DELIVERY + ":DeliveryClient.*:DeliveryScriptedServer.*"),
    F("m15-reuse-once", "src/delivery/idsmtp.cpp", "            if (!Reused)\n", "            if (!Reused && false)\n",
      DELIVERY + ":DeliveryClient.*:DeliveryScriptedServer.*"),
    F("m16-attempts", "src/delivery/mailing.cpp", "if (FAttempts >= MaxAttempts)\n                FState = 2;",
      "if (FAttempts > MaxAttempts)\n                FState = 2;", DELIVERY + ":DeliveryMailing.*"),
    F("m17-failure-dot", "src/delivery/mailing.cpp", "        Text += QLatin1Char('.');\n    Text += Tag",
      "    Text += Tag", DELIVERY + ":DeliveryMailing.*"),
    F("m18-log-line-feed", "src/delivery/maillog.cpp", ".replace('\\n', ' ');", ";",
      DELIVERY + ":DeliveryMailing.*"),
    F("m19-profile-name", "src/delivery/profiles.cpp", "    if (!Dir.isEmpty() && QFileInfo(Dir).isDir())",
      "    if (!Dir.isEmpty())", DELIVERY + ":DeliveryProfiles.*"),
    F("m20-profile-delete-last", "src/delivery/ui/proform.cpp", "        ListBox1->setCurrentRow(ListBox1->count() - 1);",
      "        ListBox1->setCurrentRow(0);", DELIVERY_UI + ":DeliveryProForm.*"),
    F("m21-profile-name-chars", "src/delivery/ui/proform.cpp", "|| C == QLatin1Char('_') ||", "||",
      DELIVERY_UI + ":DeliveryProForm.*"),
    F("m22-sendform-recno", "src/delivery/ui/sendform.cpp", "        DataSet->SetRecNo(FPlan.FirstRecNo);\n    FPlan",
      "    FPlan", DELIVERY_UI + ":DeliverySendForm.*"),
    F("m23-profile-value", "src/delivery/profiles.cpp",
      "        Structure != ProfileStructure || !Properties)\n        return false;\n    *static_cast",
      "        !Properties)\n        return false;\n    *static_cast", DELIVERY + ":DeliveryProfiles.*"),
    F("m24-thread-start-terminated", "src/delivery/idthread.cpp",
      "        if (S.Terminated)\n            return;\n        S.Stopped = false;", "        S.Stopped = false;",
      DELIVERY + ":DeliveryThread.*"),
    F("m25-thread-stopped-in-run", "src/delivery/idthread.cpp",
      "return !FState->InRun && (FState->Stopped || FState->Terminated);",
      "return FState->Stopped || FState->Terminated;", DELIVERY + ":DeliveryThread.*"),
    F("m26-thread-exception-text", "src/delivery/idthread.cpp",
      "S.TerminatingException = QString::fromUtf8(E.what());", "S.TerminatingException = QString();",
      DELIVERY + ":DeliveryThread.*"),
    F("m27-thread-self-detach", "src/delivery/idthread.cpp",
      "if (FThread.get_id() == std::this_thread::get_id())\n            FThread.detach();",
      "if (false)\n            FThread.detach();", DELIVERY + ":DeliveryThread.*"),
    F("m28-sync-rethrow", "src/delivery/idthread.cpp",
      "    if (Error)\n        std::rethrow_exception(Error);\n}\n\nvoid TIdThread::Queue",
      "}\n\nvoid TIdThread::Queue", DELIVERY + ":DeliveryThread.*"),
    F("m29-failure-logged", "src/delivery/mailing.cpp",
      "            AddLog(S->FailureText(Failed));\n        if (S->FState == 2 && !FAborting)",
      "        if (S->FState == 2 && !FAborting)", DELIVERY + ":DeliveryMailing.*"),
    F("m30-log-retry", "src/delivery/ui/sendform.cpp",
      "        if (Answer != QMessageBox::Retry)\n            FMailing.FAborting = true;",
      "        if (Answer != QMessageBox::Retry || true)\n            FMailing.FAborting = true;",
      DELIVERY_UI + ":DeliverySendForm.*"),
    F("m31-refusal-retry", "src/delivery/mailing.cpp",
      "                S->Start();\n                return FThreadCount > 0;",
      "                return FThreadCount > 0;", DELIVERY_UI + ":DeliverySendForm.*"),
    F("m43-log-unwritten-trim", "src/delivery/maillog.cpp", "At = FBytes.indexOf(\"\\r\\n\", At) + 2;",
      "At = FBytes.indexOf(\"\\r\\n\", At) + 1;", DELIVERY + ":DeliveryMailing.*"),
    F("m44-log-kept-after-failure", "src/delivery/maillog.cpp", "    FBytes.prepend(Bytes);\n", "",
      DELIVERY_UI + ":DeliverySendForm.*"),
    F("m32-cancel-yes", "src/delivery/ui/sendform.cpp",
      "                FMailing.FAborting = true;\n                CancelBtn->setEnabled(false);",
      "                CancelBtn->setEnabled(false);", DELIVERY_UI + ":DeliverySendForm.*"),
    F("m35-logform-save-crlf", "src/delivery/ui/logform.cpp", "    Bytes.replace(\"\\n\", \"\\r\\n\");\n", "",
      DELIVERY_UI + ":DeliveryLogForm.*"),
    F("m36-logform-clear", "src/delivery/ui/logform.cpp", "void TLogForm::Button3Click() { RxRichEdit1->clear(); }",
      "void TLogForm::Button3Click() {}", DELIVERY_UI + ":DeliveryLogForm.*"),
    F("m37-logform-empty-save", "src/delivery/ui/logform.cpp", "if (!Text.isEmpty() && !Text.endsWith(",
      "if (!Text.endsWith(", DELIVERY_UI + ":DeliveryLogForm.*"),
    F("m38-thread-restart", "src/delivery/idthread.cpp", "        S.Stopped = false;\n        if (!S.Spawned) {",
      "        if (!S.Spawned) {\n            S.Stopped = false;", DELIVERY + ":DeliveryThread.*"),
    F("m39-charset-reference", "src/delivery/charsets.cpp", "QByteArray::number(static_cast<uint>(C)) + ';'",
      "QByteArray::number(static_cast<uint>(C), 16) + ';'", DELIVERY + ":DeliveryMessage.*"),
    F("m40-abort-connecting", "src/delivery/mailing.cpp", "    FAborting = true;\n    FInterrupt->Raise();",
      "    FAborting = true;", DELIVERY_UI + ":DeliverySendForm.*"),
    F("m41-box-parent", "src/delivery/ui/boxparent.h", "if (W->window()->isVisible())", "if (W->window())",
      DELIVERY_UI + ":DeliveryProForm.*"),
    F("m42-sync-order", "src/delivery/idthread.cpp",
      "C = std::move(SyncQueue().Calls.front());\n            SyncQueue().Calls.pop_front();",
      "C = std::move(SyncQueue().Calls.back());\n            SyncQueue().Calls.pop_back();", DELIVERY + ":DeliveryThread.*"),

    # ---- shell ----
    F("h01-file-ext", "src/shell/fileutils.cpp",
      "if (C == QLatin1Char('/') || C == QLatin1Char('\\\\') || C == QLatin1Char(':'))",
      "if (C == QLatin1Char('/') || C == QLatin1Char(':'))", SHELL_CORE),
    F("h02-tiles", "src/shell/framelogic.cpp", "for (int y = 0; y < AreaHeight; y += TileHeight)",
      "for (int y = 0; y + TileHeight < AreaHeight; y += TileHeight)", SHELL_CORE),
    F("h03-settings-bool", "src/shell/settings.cpp", "return ReadIntegerText(Name, N) ? N != 0 : Default;",
      "return ReadIntegerText(Name, N) ? N == 1 : Default;", SHELL_CORE),
    F("h04-settings-charset", "src/shell/settings.cpp", "Values.DefaultCharset >= 0)", "Values.DefaultCharset > 0)",
      SHELL_CORE),
    F("h05-splash-min", "src/shell/splashclock.cpp", "return Elapsed >= MinimumShow ?", "return Elapsed > MinimumShow ?",
      SHELL_CORE),
    F("h06-edit-code", "src/shell/editrouting.cpp", "if (!Control || Code > 5)", "if (!Control || Code > 4)",
      SHELL_GUI + ":ShellCommands.*:ShellMainForm.*"),
    F("h07-right-align", "src/shell/commandstate.cpp", "const bool Right = !Left && !Center && H.JustifyRight;",
      "const bool Right = !Left && H.JustifyRight;", SHELL_CORE),
    F("h08-delete-key", "src/shell/tablecommands.cpp",
      "if (Key->key() == Qt::Key_Delete && (Key->modifiers() & Qt::ControlModifier))",
      "if (Key->key() == Qt::Key_Delete)", SHELL_GUI + ":TableCommands.*"),
    F("h09-help-f1", "src/shell/hhcomp.cpp", "(Shift & ~Qt::KeypadModifier) == Qt::NoModifier",
      "(Shift & ~Qt::KeypadModifier) != Qt::NoModifier", SHELL_GUI + ":ShellHelp.*"),
    F("h10-start-no-profile", "src/shell/mainformdelivery.cpp", "if (ComboBox4->currentText().isEmpty()) {",
      "if (false) {", SHELL_GUI + ":ShellMainForm.*"),
    F("h11-help-clamp", "src/shell/helpwindow.cpp", "Room.right() + 1 - Size.width()",
      "Room.right() - Size.width()", SHELL_GUI + ":ShellHelp.*"),
    F("h12-help-centre", "src/shell/helpwindow.cpp",
      "Area.moveCenter(Main && Main->isVisible() ? Main->frameGeometry().center() : Room.center());",
      "Area.moveCenter(Room.center());", SHELL_GUI + ":ShellHelp.*"),
    F("h13-start-button", "src/shell/mainformcommands.cpp",
      "[this] { BitBtn1->setEnabled(Start0->isEnabled()); }", "[this] { BitBtn1->setEnabled(true); }",
      SHELL_GUI + ":ShellCommands.*"),
    F("h14-close-shortcut", "src/shell/mainform.cpp", "QKeySequence(QStringLiteral(\"Ctrl+F4\"))",
      "QKeySequence(QStringLiteral(\"Ctrl+W\"))", SHELL_GUI + ":ShellMainForm.*:TableCommands.*"),
    F("h15-close-saves-layout", "src/shell/mainform.cpp", "        Workspace->SaveGridConfig();\n    Preview", "    Preview",
      SHELL_GUI),
    F("h16-close-project-query", "src/shell/mainform.cpp", "    return Project->CloseQuery();", "    return true;", SHELL_GUI),
    F("h17-reopen-pending", "src/shell/mainformtables.cpp",
      "    if (!Workspace->RecordCommands().SavePendingChanges())\n        return;\n    RunTableCommand([&] { Workspace->Reopen(); });",
      "    RunTableCommand([&] { Workspace->Reopen(); });", SHELL_GUI),
    F("h18-closedb-pending", "src/shell/mainformtables.cpp",
      "    if (!Workspace->RecordCommands().SavePendingChanges())\n        return;\n    RunTableCommand([&] { Workspace->Close(); });",
      "    RunTableCommand([&] { Workspace->Close(); });", SHELL_GUI),
    F("h19-cmdstate-records", "src/shell/commandstate.cpp", "C::Find, C::Start}, Records);", "C::Find, C::Start}, A || Records);", SHELL_CORE),
    F("h20-cmdstate-sorted", "src/shell/commandstate.cpp", "C::Unsort}, A && S.Sorted);", "C::Unsort}, S.Sorted);", SHELL_CORE),
    F("h21-cmdstate-redo", "src/shell/commandstate.cpp", "R[C::Redo].Enabled = Text && Redo;", "R[C::Redo].Enabled = Text && (S.CanRedo || Redo);",
      SHELL_CORE),
    F("h22-grid-enter", "src/shell/tablecommands.cpp", "if (Key->key() == Qt::Key_Return || Key->key() == Qt::Key_Enter)",
      "if (Key->key() == Qt::Key_Enter)", SHELL_GUI + ":TableCommands.*"),
    F("h23-find-not-found", "src/shell/tablecommands.cpp", "if (Result == tables::TRecordCommands::frNotFound)",
      "if (Result != tables::TRecordCommands::frNotFound)", SHELL_GUI + ":TableCommands.*"),
    F("h24-confirm-box-off", "src/shell/tablecommands.cpp", "            OptForm->CheckBox2->setChecked(false);\n", "            (void)0;\n",
      SHELL_GUI + ":TableCommands.*"),
    F("h25-add-while-editing", "src/shell/tablecommands.cpp", "{AddRec0, Browsing && C.CanAdd()}", "{AddRec0, (Browsing || true) && C.CanAdd()}",
      SHELL_GUI),
    F("h26-discard-answer", "src/shell/tablecommands.cpp", "QMessageBox::No) == QMessageBox::Yes;", "QMessageBox::No) != QMessageBox::Yes;",
      SHELL_GUI + ":TableCommands.*"),
    F("h27-calc-modified", "src/shell/mainformcalc.cpp", "CalcFieldPage->OnModified = [this] { FModified = true; };",
      "CalcFieldPage->OnModified = [] {};", SHELL_GUI),
    F("h28-options-unsaved-kept", "src/shell/optform.cpp", "            FUnsavedFlags = Flags;", "            FUnsavedFlags = 0;", SHELL_GUI),
    F("h29-options-cancel", "src/shell/optform.cpp", "if (FUnsavedFlags != 0 || !LoadOptions())", "if (!LoadOptions())", SHELL_GUI),
    F("h30-link-release-outside", "src/shell/grlink.cpp", "        if (rect().contains(Event->position().toPoint()))\n", "", SHELL_GUI),
    F("h31-link-blank-url", "src/shell/grlink.cpp", "return URL.trimmed().isEmpty() ? text() : URL;", "return URL.isEmpty() ? text() : URL;",
      SHELL_GUI),
    F("h32-minmodal-restore", "src/shell/minmodal.cpp", "if (W->isVisible() && W->isMinimized())", "if (W->isVisible())", SHELL_GUI),
    F("h33-subject-width", "src/shell/framelogic.cpp", "return IntMax(Panel3Width - Edit2Left - 10, 150);",
      "return IntMax(Panel3Width - Edit2Left - 10, 100);", SHELL_CORE),
    F("h34-charset-cancel", "src/shell/mainformproject.cpp", "    if (!CharSetForm->Execute(Index))\n        return;\n", "    CharSetForm->Execute(Index);\n",
      SHELL_GUI),
    F("h35-to-address-kinds", "src/shell/mainformproject.cpp", "if (Kind == tables::dtC || Kind == tables::dtM)",
      "if (Kind == tables::dtC)", SHELL_GUI),
    F("h36-first-calc-field", "src/shell/mainformproject.cpp", "            CalcFieldList->setCurrentRow(0);\n            ListBox1Click();\n",
      "", SHELL_GUI),
    F("h37-use-filter-loaded", "src/shell/mainformproject.cpp", "        UseFilter->setChecked(S.UseF);\n", "", SHELL_GUI),
    F("h38-attachments-check", "src/shell/mainformproject.cpp", "    if (Message.isEmpty())\n        return true;",
      "    if (true)\n        return true;", SHELL_GUI),
    F("h39-road-keeps-filter", "src/tables/workspace.cpp", "    FQuery->SetFiltered(UseFilterState());\n    FQuery->DisableControls();",
      "    FQuery->DisableControls();", SHELL_GUI),
    F("h40-temp-prefix-8", "src/shell/fileutils.cpp", "if (Prefix.size() >= 8)", "if (Prefix.size() > 8)", SHELL_CORE),
    F("h41-temp-delimiter", "src/shell/fileutils.cpp", "!Dir.endsWith(QLatin1Char('/')) && !Dir.endsWith(QLatin1Char('\\\\'))",
      "!Dir.endsWith(QLatin1Char('/'))", SHELL_CORE),
    F("h42-quiet-sandbox-note", "src/shell/quietlog.cpp", "if (Type == QtInfoMsg && DropSandboxNote &&", "if (Type == QtInfoMsg &&",
      SHELL_CORE),
    F("h43-main-reader-cr", "src/shell/framelogic.cpp", "    Reader.AddDelimiter(QString(QChar(13)), 0, nullptr);\n", "", SHELL_CORE),
    F("h44-dir-settings-sql", "src/shell/settings.cpp", "SaveOneString(QStringLiteral(\"SQLDataBase\"), SQLDataBase)",
      "SaveOneString(QStringLiteral(\"SQLFileDir\"), SQLDataBase)", SHELL_CORE),
    F("h45-help-link-selects", "src/shell/helpwindow.cpp", "[this](const QUrl &Url) { SelectPage(Url.toLocalFile()); });",
      "[](const QUrl &) {});", SHELL_GUI + ":ShellHelp.*"),
    F("h46-help-contents-once", "src/shell/helpwindow.cpp", "        if (Seen.contains(File))\n            continue;\n", "",
      SHELL_GUI + ":ShellHelp.*"),
    F("h47-help-width", "src/shell/helpwindow.cpp", "PM_ScrollBarExtent) + 8;", "PM_ScrollBarExtent) - 60;", SHELL_GUI + ":ShellHelp.*"),
    F("h48-popup-states", "src/shell/mainformcommands.cpp", "connect(Menu, &QMenu::aboutToShow, this, &TMainForm::UpdateEditCommands);",
      "(void)Menu;", SHELL_GUI + ":ShellCommands.*"),
    F("h49-focus-calc-expression", "src/shell/mainformcommands.cpp", "    if (W == Memo2)\n        return TFocus::CalcExpression;\n", "",
      SHELL_GUI + ":ShellCommands.*"),
    F("h50-sql-road-filter", "src/tables/sqlstatement.cpp", "        Query.SetFiltered(UseFilter);\n        Workspace.SqlQueryMode = 1;",
      "        Workspace.SqlQueryMode = 1;", SHELL_GUI + ":ShellMailing.*"),
]


def find_binaries(build):
    found = {}
    for dirpath, dirnames, filenames in os.walk(build):
        dirnames[:] = [d for d in dirnames if not d.startswith(".") and d != "CMakeFiles"]
        for name in filenames:
            full = os.path.join(dirpath, name)
            if name not in found and os.access(full, os.X_OK) and not name.endswith((".so", ".sh", ".py")):
                found[name] = full
    return found


class Planted:
    """The file with the fault in it; put back on leaving, also on SIGINT/SIGTERM."""

    def __init__(self, path, original, mutated, journal):
        self.path, self.original, self.mutated, self.journal = path, original, mutated, journal

    def __enter__(self):
        self.journal.write_bytes(str(self.path).encode() + b"\n" + self.original)
        self.path.write_bytes(self.mutated)
        return self

    def __exit__(self, *exc):
        self.path.write_bytes(self.original)  # a new time stamp: ninja builds the original again
        self.journal.unlink(missing_ok=True)
        return False


def restore_journal(journal):
    if journal.exists():
        data = journal.read_bytes()
        path, _, original = data.partition(b"\n")
        Path(path.decode()).write_bytes(original)
        journal.unlink()
        print(f"restored {path.decode()} from an interrupted run")


def run(cmd, timeout, env=None, cwd=None):
    try:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout, env=env, cwd=cwd)
        return p.returncode, p.stdout.decode(errors="replace")
    except subprocess.TimeoutExpired as e:
        return "timeout", (e.stdout or b"").decode(errors="replace")


def failing_tests(binary, flt, timeout, env):
    """The tests of one program that fail, and where; after a crash the program runs again without the tests done."""
    failed, done, where = [], [], []
    while True:
        skip = "-" + ":".join(done) if done else ""
        rc, out = run([binary, "--gtest_filter=" + (flt or "*") + skip], timeout, env=env, cwd=os.path.dirname(binary))
        running = None
        where += re.findall(r"^(?:.*/)?([\w.]+:\d+): Failure", out, re.M)
        for line in out.splitlines():
            m = re.match(r"\[ +(RUN|OK|FAILED) +\] ([\w/.]+)", line)
            if m and m[1] == "RUN":
                running = m[2]
            elif m and running == m[2]:
                done.append(running)
                if m[1] == "FAILED":
                    failed.append(running)
                running = None
        if running is None:
            if rc != 0 and not failed:
                failed.append(os.path.basename(binary))  # failed outside any test
            return failed, done, where
        failed.append(running)
        done.append(running)


def print_map(results, seen, out):
    caught = {r["id"]: r["tests"] for r in results if r["tests"]}
    for fid, tests in caught.items():
        print(f"{fid:28} {' '.join(tests)}")
    print("\nper test: faults caught [* = the only catcher]")
    for t in sorted(seen, key=lambda t: sum(t in ts for ts in caught.values())):
        mine = [(f + "*" if ts == [t] else f) for f, ts in caught.items() if t in ts]
        print(f"  {t:52} {len(mine):2} {' '.join(mine)}")
    if out:
        Path(out).write_text(json.dumps({"faults": results, "tests": sorted(seen)}, indent=1) + "\n")


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("-B", "--build", default=str(ROOT / "build"), help="configured build folder (default: build)")
    ap.add_argument("-k", "--only", help="run only the faults whose id matches this regex")
    ap.add_argument("--list", action="store_true", help="list the faults and exit")
    ap.add_argument("--check", action="store_true", help="only report which snippets still apply")
    ap.add_argument("--map", action="store_true", help="run every test of each fault and map the faults to the tests")
    ap.add_argument("-o", "--output", help="with --map: save the map as JSON")
    ap.add_argument("--timeout", type=int, default=300, help="seconds per test program (default 300)")
    ap.add_argument("-j", "--jobs", type=int, default=4, help="ninja jobs (default 4)")
    ap.add_argument("-v", "--verbose", action="store_true", help="show the output of failed builds")
    args = ap.parse_args()

    faults = [f for f in FAULTS if not args.only or re.search(args.only, f["id"])]
    if args.list:
        for f in faults:
            print(f"{f['id']:28} {f['path']:42} {' '.join(f['tests'])}")
        return 0

    build = Path(args.build).resolve()
    journal = build / JOURNAL
    if not args.check:
        restore_journal(journal)
    signal.signal(signal.SIGTERM, lambda *a: sys.exit(130))

    env = dict(os.environ)
    env.setdefault("QT_QPA_PLATFORM", "offscreen")
    if os.geteuid() == 0:
        env.setdefault("QTWEBENGINE_DISABLE_SANDBOX", "1")
    env.setdefault("QF_MDB_FIXTURES", str(build / "fixtures" / "mdb"))

    binaries = None
    results = []
    mapped, seen = [], set()
    t0 = time.time()
    for f in faults:
        path = ROOT / f["path"]
        text = path.read_bytes() if path.exists() else b""
        old, new = f["old"].encode(), f["new"].encode()
        if text.count(old) != 1:
            results.append((f["id"], "n/a", "snippet found %d times" % text.count(old)))
            print(f"{f['id']:28} n/a ({results[-1][2]})", flush=True)
            continue
        if args.check:
            results.append((f["id"], "applies", ""))
            continue
        targets = sorted({t.split(":")[0] for t in f["tests"]})
        with Planted(path, text, text.replace(old, new), journal):
            rc, out = run(["ninja", "-C", str(build), "-j", str(args.jobs)] + targets, None)
            if rc != 0:
                results.append((f["id"], "no-build", ""))
                print(f"{f['id']:28} no-build", flush=True)
                if args.verbose:
                    print(out[-3000:])
                continue
            if binaries is None:
                binaries = find_binaries(build)
            verdict, by = "survived", ""
            if args.map:
                catchers, lines = [], []
                for t in f["tests"]:
                    name, _, flt = t.partition(":")
                    failed, done, where = failing_tests(binaries[name], flt, args.timeout, env)
                    catchers += failed
                    lines += where
                    seen.update(done)
                mapped.append(dict(id=f["id"], tests=catchers, lines=sorted(set(lines))))
                if catchers:
                    verdict, by = "killed", " ".join(catchers)
            for t in f["tests"] if not args.map else []:
                name, _, flt = t.partition(":")
                cmd = [binaries[name], "--gtest_fail_fast"] + (["--gtest_filter=" + flt] if flt else [])
                rc, out = run(cmd, args.timeout, env=env, cwd=os.path.dirname(binaries[name]))
                if rc != 0:
                    verdict, by = "killed", f"{t} ({'timeout' if rc == 'timeout' else 'exit ' + str(rc)})"
                    break
        results.append((f["id"], verdict, by))
        print(f"{f['id']:28} {verdict} {by}", flush=True)

    if args.check:
        print("%d of %d faults apply" % (sum(r[1] == "applies" for r in results), len(results)))
        return 0
    # Put the build back on the unchanged sources.
    run(["ninja", "-C", str(build), "-j", str(args.jobs)] + sorted({t.split(":")[0] for f in faults for t in f["tests"]}), None)
    if args.map:
        print_map(mapped, seen, args.output)
    count = {k: sum(r[1] == k for r in results) for k in ("killed", "survived", "n/a", "no-build")}
    scored = count["killed"] + count["survived"]
    print("\nkilled %d, survived %d, not applicable %d, not building %d; score %d/%d = %.0f%% (%.0f min)" % (
        count["killed"], count["survived"], count["n/a"], count["no-build"], count["killed"], scored,
        100.0 * count["killed"] / scored if scored else 0, (time.time() - t0) / 60))
    if count["survived"]:
        print("survived: " + " ".join(r[0] for r in results if r[1] == "survived"))
    return 1 if count["survived"] else 0


if __name__ == "__main__":
    sys.exit(main())
