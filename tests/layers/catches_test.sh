#!/usr/bin/env bash
# The layering check on small made-up trees: each row is one include in one
# folder and whether the check lets it through.
#   catches_test.sh CHECK_LAYERS_SCRIPT
set -uo pipefail
check="$1"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

failures=0
row() {  # row pass|fail FILE LINE
  local want="$1" file="$2" line="$3"
  rm -rf "$tmp/tree" && mkdir -p "$tmp/tree/$(dirname "$file")"
  printf '%s\n' "$line" >"$tmp/tree/$file"
  local got=pass
  "$check" "$tmp/tree" >"$tmp/out" 2>&1 || got=fail
  if [ "$got" != "$want" ]; then
    echo "FAIL: $file with '$line': wanted $want, got $got"
    sed 's/^/    /' "$tmp/out"
    failures=$((failures + 1))
  fi
}

row pass motion/Motion.cpp      '#include "port/Port.h"'
row fail port/Port.h            '#include "motion/Context.h"'
row pass job/Job.cpp            '#include "motion/Motion.h"'
row fail homing/Homing.cpp      '#include "job/PlotLoop.h"'
row fail job/Job.cpp            '#include "homing/Homing.h"'
row fail jog/Jog.cpp            '#include "job/Job.h"'
row fail motion/Motion.cpp      '#include "job/Job.h"'
row fail job/Estimate.cpp       '#include "importer/Hpgl.h"'
row fail importer/Hpgl.cpp      '#include "port/Port.h"'
row fail importer/Hpgl.cpp      '#include <QString>'
row pass importer_qt/Svg.cpp    '#include "importer/Hpgl.h"'
row pass importer_qt/Svg.cpp    '#include <QSvgRenderer>'
row fail importer_qt/Svg.cpp    '#include "motion/Motion.h"'
row pass cli/Runner.cpp         '#include "importer/Hpgl.h"'
row fail cli/Runner.cpp         '#include "app/Form1.h"'
row fail cli/Runner.cpp         '#include <QCoreApplication>'
row fail motion/Clock.cpp       '#  include <QElapsedTimer>'
row pass app/Form1.cpp          '#include <QWidget>'
row pass app/Form1.cpp          '#include "importer_qt/Svg.h"'
row pass app/tools/shoot.cpp    '#include "app/Form1.h"'
row fail job/Job.cpp            '#include "tests/support/CliRun.h"'
row pass job/Job.cpp            '#include "Local.h"'
# The window's words stay out of the machine's folders, comments included.
row fail motion/Motion.cpp      'if (c.ui.Check1()) return;'
row fail job/Job.cpp            '// reads Text(3), the divisor'
row fail job/Job.cpp            'c.ui.SetText(3, "1");'
row fail homing/Homing.cpp      'void Command4_Click(Context& c);'
row fail motion/SwitchPoll.h    'void Timer1_Timer(Context& c);'
row fail port/Port.h            '// pumps with DoEvents'
row fail files/SafeFile.h       '// Slider2 x 1000'
row fail importer/Hpgl.cpp      'PSet(x, y, c);'
row pass files/SafeFile.cpp     'std::string FileErrorText(int err);'
row pass job/Limits.cpp         'c.run.limitX = WholeNumberText(x);'
row pass app/Form1.cpp          'void Form1::Timer1_Timer() { Check1_->setText(Text(3)); }'
row pass cli/Runner.cpp         '// Text1=... as the window shows Check1'

[ "$failures" -eq 0 ] && echo "layers: every row as wanted"
exit $((failures > 0))
