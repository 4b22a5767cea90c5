#!/usr/bin/env python3
"""The layering check on small trees: a clean one passes, each kind of fault is named."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import layering_check  # noqa: E402

CLEAN = {
    "base/code_page_text.h": "#include <string_view>\n",
    "base/sha256.cc": "#include <cpuid.h>\n#include <immintrin.h>\n",
    "platform/system.h": "#include <string>\n",
    "platform/ui.h": "#include <functional>\n",
    "platform/posix/posix_system.h": ('#include <unistd.h>\n#include "platform/system.h"\n'
                                      '#include "base/code_page_text.h"\n'),
    "text/message.h": '#include "platform/system.h"\n#include "base/code_page_text.h"\n',
    "textcopy/text_filter.h": '#include "text/message.h"\n',
    "script/run_state.h": '#include "platform/ui.h"\n#include "textcopy/text_filter.h"\n',
    "app/posix_main.cc": ('#include <cstdio>\n#include "script/run_state.h"\n'
                          '#include "platform/posix/posix_system.h"\n'),
    "tests/unit/fakes.h": '#include "platform/system.h"\n',
}


class LayeringCheckTest(unittest.TestCase):
    def check(self, extra):
        with tempfile.TemporaryDirectory() as root:
            for path, text in {**CLEAN, **extra}.items():
                os.makedirs(os.path.join(root, os.path.dirname(path)), exist_ok=True)
                with open(os.path.join(root, path), "w", encoding="utf-8") as f:
                    f.write(text)
            return layering_check.check(root)

    def test_clean_trees_pass_and_each_fault_is_found(self):
        self.assertEqual(self.check({}), [])
        self.assertEqual(layering_check.check(os.path.join(os.path.dirname(__file__), "..")), [])
        for extra, fault in [
            ({"tests/unit/x_test.cc": '#include "app/transcript.h"\n'},
             "tests/unit/x_test.cc: includes app/transcript.h from outside app/"),
            ({"sysquery/registry_path.cc": '#include "platform/posix/posix_system.h"\n'},
             "sysquery/registry_path.cc: portable file includes platform/posix/posix_system.h"),
            ({"record/install_record.cc": "#include <unistd.h>\n"},
             "record/install_record.cc: portable file includes <unistd.h>"),
            ({"record/uninstall_entry.cc": "#include <windows.h>\n"},
             "record/uninstall_entry.cc: portable file includes <windows.h>"),
            ({"base/sha256.h": "#include <immintrin.h>\n"},
             "base/sha256.h: portable file includes <immintrin.h>"),
            ({"text/reader.cc": "#  include <unistd.h>\n"},
             "text/reader.cc: portable file includes <unistd.h>"),
            ({"platform/win32/files.cc": '#include "script/run_state.h"\n'},
             "platform/win32/files.cc: platform implementation includes script/run_state.h"),
            ({"base/utf8.h": '#include "platform/system.h"\n'},
             "base/utf8.h: base/ includes platform/system.h"),
            ({"text/message.cc": '#include "script/run_state.h"\n'},
             "folders include each other: script -> textcopy -> text -> script"),
        ]:
            self.assertIn(fault, self.check(extra), extra)


if __name__ == "__main__":
    unittest.main()
