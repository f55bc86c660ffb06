"""The run's own log ("/log <file>") under Wine: a silent deployment leaves a record
of each product's state and decision and of the exit code, run after run."""

import re
import unittest

import bench

LINE = re.compile(r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.*)$")


class RunLog(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.samples = bench.samples()
        cls.products = {p["key"]: p for p in cls.samples["products"]}

    def lines(self, path):
        raw = path.read_bytes()
        self.assertFalse(raw.startswith(b"\xef\xbb\xbf"), "no byte-order mark")
        self.assertTrue(raw.endswith(b"\r\n"))
        texts = raw.decode("utf-8").split("\r\n")[:-1]
        for text in texts:
            self.assertRegex(text, LINE)
        return [LINE.match(text).group(1) for text in texts]

    def test_a_silent_deployment_leaves_a_record_that_later_runs_extend(self):
        with bench.Case(bench.base("all")) as case:
            case.host("C:\\logs").mkdir()
            arguments = "/q /norestart /log C:\\logs\\sp.log"
            first = case.servicepack(arguments)
            self.assertFalse(first.timed_out)
            self.assertEqual(first.exit_code, 1642)  # legacy is at a version the pack is not for
            self.assertEqual(first.boxes, [])
            upgrade = self.samples["upgradeVersion"]
            self.assertEqual(case.products([self.products["en"]["code"]]),
                             {self.products["en"]["code"]: (5, upgrade)})

            # Each product's verbose log beside the run log, none in the temporary folder.
            names = [self.products[k]["name"] for k in ("en", "de", "fr", "legacy")]
            product_logs = [f"C:\\logs\\sp_{name}.log" for name in names]
            self.assertEqual([c.args[1].text for c in first.installer_calls("MsiEnableLogW")],
                             product_logs)
            for path in product_logs[:2]:  # the two products patched
                self.assertIn(b"=== Logging started", case.host(path).read_bytes(), path)
            for path in product_logs:
                self.assertTrue(case.host(path).is_file(), path)
            self.assertEqual(sorted(p.name for p in case.host(case.temp_dir).glob("*.log")), [])

            log = case.host("C:\\logs\\sp.log")
            lines = self.lines(log)
            self.assertEqual(lines[1], "product logs C:\\logs\\sp_<product name>.log")
            for path in product_logs:
                self.assertTrue(any(line.endswith(f" log {path}") for line in lines), path)
            self.assertTrue(lines[0].startswith(f"start upgrade {upgrade} candidates "))
            self.assertTrue(lines[0].endswith(f"{arguments}; desktop visible; elevated"), lines[0])
            decisions = {"en": "qualifies", "de": "qualifies", "fr": "up to date",
                         "legacy": "unsupported"}
            for key, decision in decisions.items():
                product = self.products[key]
                self.assertIn(f"product {product['code']} present", lines)
                identity = [line for line in lines
                            if line.startswith(f"product {product['code']} name ")]
                self.assertEqual(len(identity), 1, key)
                self.assertTrue(identity[0].endswith(f" version {product['version']}"), identity)
                self.assertIn(f"product {product['code']} decision {decision}", lines)
            self.assertIn(f"product {self.samples['neverInstalled']} absent", lines)
            reconfigurations = [line for line in lines if line.startswith("reconfigure ")]
            self.assertEqual(len(reconfigurations), 4)
            for line in reconfigurations:
                self.assertTrue(line.endswith(" REBOOT=ReallySuppress result 0"), line)
            self.assertEqual(lines[-1], f"exit code {first.exit_code}")

            # The same run without "/log" makes the same calls, but for the log paths.
            with bench.Case(bench.base("all")) as without:
                plain = without.servicepack("/q /norestart")
                self.assertEqual(plain.exit_code, first.exit_code)

                def calls(result):
                    # Texts and small numbers; buffers' addresses differ from run to run.
                    return [(c.function, [
                        "log" if c.function == "msi.MsiEnableLogW" and i == 1 else
                        a.text if isinstance(a, bench.WString) else a
                        for i, a in enumerate(c.args)
                        if isinstance(a, bench.WString) or (isinstance(a, int) and a < 0x10000)])
                        for c in result.calls if c.function.startswith("msi.")]
                self.assertEqual(calls(first), calls(plain))

            second = case.servicepack(arguments)
            self.assertEqual(second.exit_code, 1642)
            both = self.lines(log)
            self.assertEqual(both[:len(lines)], lines)
            self.assertTrue(both[len(lines)].startswith("start "))
            self.assertIn(f"product {self.products['en']['code']} decision up to date", both)
            self.assertEqual(both[-1], f"exit code {second.exit_code}")


if __name__ == "__main__":
    unittest.main()
