"""The viewer CPU measurement reads two fields out of /proc/<pid>/stat; a wrong field or a
program name with spaces or brackets would give a plausible but wrong figure, and the ratio
printed would mean nothing. These checks pin the fields on a made-up line and on this very
process, whose CPU time must grow while it works."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import viewer_cpu  # noqa: E402


def stat_line(name, utime, stime):
    # Fields 3 to 52 of a stat line; every field but utime and stime holds a distinct decoy.
    fields = [str(100 + i) for i in range(3, 53)]
    fields[0] = "S"
    fields[14 - 3], fields[15 - 3] = str(utime), str(stime)
    return f"4242 ({name}) " + " ".join(fields) + "\n"


class CpuTicks(unittest.TestCase):
    def test_sums_user_and_system_time(self):
        self.assertEqual(viewer_cpu.cpu_ticks(stat_line("depth-viewer", 1234, 567)), 1801)

    def test_name_with_spaces_and_brackets_does_not_shift_the_fields(self):
        line = stat_line("a) (b c) 9 9", 10, 20)
        self.assertEqual(viewer_cpu.cpu_ticks(line), 30)

    def test_own_process_time_grows_while_it_works(self):
        before = viewer_cpu.cpu_seconds(os.getpid())
        deadline = time.process_time() + 0.2
        while time.process_time() < deadline:
            pass
        after = viewer_cpu.cpu_seconds(os.getpid())
        self.assertGreaterEqual(after - before, 0.1)


if __name__ == "__main__":
    unittest.main()
