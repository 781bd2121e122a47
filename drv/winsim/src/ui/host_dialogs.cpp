// The log window on a Linux terminal.
#include <curses.h>

#include <clocale>
#include <cstdio>
#include <sstream>

#include "winsim/host.h"
#include "winsim/windows.h"

namespace winsim {

static std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      lines.push_back(line);
      line.clear();
      ++i;
    } else {
      line += text[i];
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

static std::string LogText(const DialogRecord& dialog) {
  auto item = dialog.itemTexts.find(1001);
  return item == dialog.itemTexts.end() ? std::string() : item->second;
}

int PrintedDialog(const DialogRecord& dialog) {
  std::printf("%s\n%s", dialog.title.c_str(), LogText(dialog).c_str());
  std::fflush(stdout);
  return IDOK;
}

int TerminalDialog(const DialogRecord& dialog) {
  std::vector<std::string> lines = Lines(LogText(dialog));
  std::setlocale(LC_ALL, "");
  initscr();
  cbreak();
  noecho();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  curs_set(0);
  size_t top = 0, left = 0;
  int result = -1;
  while (result < 0) {
    int rows = LINES, cols = COLS;
    size_t view = rows > 3 ? size_t(rows - 3) : 1;
    erase();
    attron(A_REVERSE);
    mvhline(0, 0, ' ', cols);
    mvaddnstr(0, 1, dialog.title.c_str(), cols - 2);
    attroff(A_REVERSE);
    for (size_t r = 0; r < view && top + r < lines.size(); ++r) {
      const std::string& line = lines[top + r];
      if (left < line.size()) mvaddnstr(int(r + 1), 0, line.c_str() + left, cols - 1);
    }
    if (lines.size() > view)
      mvaddch(1 + int(view * top / (lines.size() - view + 1)), cols - 1, ACS_CKBOARD);
    attron(A_BOLD);
    mvaddstr(rows - 1, cols > 11 ? cols - 11 : 0, "[ Close ]");
    attroff(A_BOLD);
    refresh();
    size_t last = lines.size() > view ? lines.size() - view : 0;
    switch (getch()) {
      case KEY_UP: top = top ? top - 1 : 0; break;
      case KEY_DOWN: top = top < last ? top + 1 : last; break;
      case KEY_PPAGE: top = top > view ? top - view : 0; break;
      case KEY_NPAGE: top = top + view < last ? top + view : last; break;
      case KEY_HOME: top = 0; break;
      case KEY_END: top = last; break;
      case KEY_LEFT: left = left > 8 ? left - 8 : 0; break;
      case KEY_RIGHT: left += 8; break;
      case '\n': case '\r': case KEY_ENTER: result = IDOK; break;
      case 27: result = IDCANCEL; break;
      default: break;
    }
  }
  endwin();
  return result;
}

std::u16string JoinCommandLine(const std::vector<std::string>& args) {
  std::u16string line;
  for (size_t i = 0; i < args.size(); ++i) {
    std::u16string arg = Wide(args[i]);
    if (i) line += u' ';
    if (i == 0) {  // the program name takes no escapes
      line += u'"' + arg + u'"';
      continue;
    }
    if (!arg.empty() && arg.find_first_of(u" \t\"") == std::u16string::npos) {
      line += arg;
      continue;
    }
    line += u'"';
    size_t backslashes = 0;
    for (char16_t c : arg) {
      if (c == u'\\') {
        ++backslashes;
        continue;
      }
      line.append(c == u'"' ? backslashes * 2 + 1 : backslashes, u'\\');
      backslashes = 0;
      line += c;
    }
    line.append(backslashes * 2, u'\\');
    line += u'"';
  }
  return line;
}

}  // namespace winsim
