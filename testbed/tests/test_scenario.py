"""Scenario lines and their effect on a reply's pairs."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))

from kvtestbed.pairs import apply_scenario, encode_pairs  # noqa: E402
from kvtestbed.scenario import Scenario  # noqa: E402

RESERVED = {"omit", "status", "stall", "stall_body", "raw", "pad"}


class ScenarioFile(unittest.TestCase):
    def test_lines_comments_empty_values_and_repeats(self):
        s = Scenario.parse("# comment\n\nconfig.announcement 今日 維修 \ntestparam.HotFix\nconfig.status 500\nconfig.status 404\r\n")
        self.assertEqual(s.get("config.announcement"), "今日 維修 ")
        self.assertEqual(s.get("testparam.HotFix"), "")
        self.assertEqual(s.status("config"), 404)
        self.assertIsNone(s.status("testparam"))
        self.assertEqual(Scenario.parse("config.status abc").status("config"), None)

    def test_overrides_keep_order_append_new_names_and_omit(self):
        s = Scenario.parse("config.ver_min 0.95\nconfig.extra 1\nconfig.omit agreement, ver_server\nconfig.stall 2")
        pairs = apply_scenario([("ver_server", "0.93"), ("ver_min", "0.90"), ("agreement", "x")], s, "config", RESERVED)
        self.assertEqual(pairs, [("ver_min", "0.95"), ("extra", "1")])
        self.assertEqual(s.stall("config"), 2.0)
        self.assertEqual(s.body_stall("config"), 0.0)
        self.assertEqual(Scenario.parse("result.stall_body 12.5").body_stall("result"), 12.5)

    def test_raw_body_escapes_become_separators(self):
        s = Scenario.parse(r"testparam.raw test_permission\x1FT\x1eurl\x1f")
        self.assertEqual(s.raw("testparam"), "test_permission\x1fT\x1eurl\x1f")
        self.assertEqual(encode_pairs([("a", "1"), ("b", "")]), "a\x1f1\x1eb\x1f\x1e")


if __name__ == "__main__":
    unittest.main()
