"""A release as a release engineer makes it, on a machine without Wine: the windows preset
built twice, in two folders from two checkouts, signed with a throw-away certificate
authority and SOURCE_DATE_EPOCH. Both builds must give the same bytes, the signature must
verify, the package must be embedded unchanged, and under Wine "/e" must write it out.
A signing step that fails must leave no executable."""

import datetime
import hashlib
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

import olefile

import bench

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "build"))
import buildtree  # noqa: E402

sys.path.insert(0, str(buildtree.ROOT / "tools"))
import peresources  # noqa: E402

PACKAGE = buildtree.ROOT / "resources" / "sample" / "sample.msp"


class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = pathlib.Path(tempfile.mkdtemp(prefix="sprelease-"))
        cls.epoch = int(time.time())
        cls.env = dict(os.environ, PATH=buildtree.path_without_wine(cls.dir / "bin"),
                       SOURCE_DATE_EPOCH=str(cls.epoch))
        cls.ca, cls.cert, cls.key = buildtree.make_certificate_authority(cls.dir, "release")
        cls.other_ca, cls.other_cert, cls.other_key = buildtree.make_certificate_authority(
            cls.dir, "other")
        signing = [f"-DSP_SIGN_CERT={cls.cert}", f"-DSP_SIGN_KEY={cls.key}",
                   f"-DSP_SIGN_CA={cls.ca}"]
        checkout = buildtree.copy_source(cls.dir / "checkout")
        cls.sources, cls.trees, cls.outputs = [buildtree.ROOT, checkout], [], []
        for source, tree in zip(cls.sources, (cls.dir / "first", cls.dir / "second")):
            for command in (["cmake", "--preset", "windows", "-B", str(tree)] + signing,
                            ["cmake", "--build", str(tree)]):
                code, output = buildtree.run(command, cwd=source, env=cls.env)
                if code != 0:
                    raise AssertionError(f"{' '.join(command)} failed:\n{output}")
            cls.trees.append(tree)
            cls.outputs.append(output)
        # What each build made; a test below builds the second tree again.
        cls.made = [((tree / "unsigned" / "servicepack.exe").read_bytes(),
                     (tree / "servicepack.exe").read_bytes()) for tree in cls.trees]
        cls.unsigned, cls.signed = cls.made[0]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def verify(self, path, ca):
        return subprocess.run(["osslsigncode", "verify", "-in", str(path), "-CAfile", str(ca)],
                              capture_output=True, text=True)

    def test_two_builds_give_the_same_bytes(self):
        self.assertEqual(self.made[1], self.made[0])
        self.assertGreater(len(self.signed), len(self.unsigned))

    def test_without_its_signature_the_release_is_the_unsigned_build(self):
        """How someone without the key checks a signed release against their own build."""
        plain = self.dir / "plain.exe"
        subprocess.run(["osslsigncode", "remove-signature", "-in",
                        str(self.trees[0] / "servicepack.exe"), "-out", str(plain)],
                       check=True, capture_output=True)
        self.assertEqual(plain.read_bytes(), self.unsigned)

    def test_the_build_prints_the_sha256_of_the_final_file_and_the_patch_code(self):
        with olefile.OleFileIO(str(PACKAGE)) as package:
            patch_code = package.get_metadata().revision_number.decode()[:38]
        for (_, signed), output in zip(self.made, self.outputs):
            digest = hashlib.sha256(signed).hexdigest()
            self.assertIn(f"servicepack.exe: SHA-256 {digest}", output)
            self.assertIn(f"servicepack.exe: patch code {patch_code}", output)

    def test_signature_verifies_against_its_ca_only(self):
        path = self.trees[0] / "servicepack.exe"
        result = self.verify(path, self.ca)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Subject: /CN=release throw-away signer", result.stdout)
        shown = re.search(r"Signing time: (.+ GMT)", result.stdout).group(1)
        self.assertEqual(datetime.datetime.strptime(shown, "%b %d %H:%M:%S %Y GMT").replace(
            tzinfo=datetime.timezone.utc).timestamp(), self.epoch)
        self.assertNotEqual(self.verify(path, self.other_ca).returncode, 0)
        self.assertNotEqual(self.verify(self.trees[0] / "unsigned" / "servicepack.exe",
                                        self.ca).returncode, 0)

    def test_the_package_is_embedded_unchanged(self):
        resources = peresources.PeImage(self.signed).resources()
        self.assertEqual(resources[("MSP", "IDR_MSP_TB", 1033)], PACKAGE.read_bytes())

    def test_extract_under_wine_writes_the_package(self):
        with bench.Case(bench.base("none")) as case:
            program = case.put(self.trees[0] / "servicepack.exe", "C:\\sp\\servicepack.exe")
            result = case.run(program, "/e C:\\sp.msp")
            self.assertFalse(result.timed_out)
            self.assertEqual(result.exit_code, 0)
            self.assertEqual(result.boxes, [])
            self.assertEqual(case.host("C:\\sp.msp").read_bytes(), PACKAGE.read_bytes())

    def rebuild_second(self, **signing):
        """Builds the second tree again with other signing settings (the others empty)."""
        variables = {name: "" for name in ("SP_SIGN_CERT", "SP_SIGN_KEY", "SP_SIGN_PKCS12",
                                           "SP_SIGN_PASSWORD_FILE", "SP_SIGN_COMMAND")}
        variables.update(signing)
        code, output = buildtree.run(
            ["cmake", "-S", str(self.sources[1]), "-B", str(self.trees[1])] +
            [f"-D{name}={value}" for name, value in variables.items()], env=self.env)
        self.assertEqual(code, 0, output)
        return buildtree.run(["cmake", "--build", str(self.trees[1])], env=self.env)

    def test_a_pkcs12_file_signs_the_same_bytes(self):
        pkcs12, password = self.dir / "signer.p12", self.dir / "signer.pass"
        password.write_text("throw-away\n")
        subprocess.run(["openssl", "pkcs12", "-export", "-in", str(self.cert), "-inkey",
                        str(self.key), "-out", str(pkcs12), "-passout", f"file:{password}"],
                       check=True, capture_output=True)
        code, output = self.rebuild_second(SP_SIGN_PKCS12=pkcs12, SP_SIGN_PASSWORD_FILE=password)
        self.assertEqual(code, 0, output)
        self.assertEqual((self.trees[1] / "servicepack.exe").read_bytes(), self.signed)
        password.write_text("wrong\n")
        code, output = buildtree.run(["cmake", "--build", str(self.trees[1])], env=self.env)
        self.assertNotEqual(code, 0, output)
        self.assertFalse((self.trees[1] / "servicepack.exe").exists())
        code, output = self.rebuild_second(SP_SIGN_CERT=self.cert, SP_SIGN_KEY=self.key)
        self.assertEqual(code, 0, output)

    def test_a_signing_step_that_fails_leaves_no_executable(self):
        tree = self.trees[1]
        sign = f"osslsigncode sign -h sha256 -certs {self.cert} -key {self.key}"
        commands = [
            ("false", "failed (1)"),
            ("true", "signing wrote no"),
            ("cp", "is no signed copy"),
            (f"osslsigncode sign -h sha256 -certs {self.other_cert} -key {self.other_key}",
             "verifying the signature failed"),
            # Signs an image it changed first: the signature verifies, the content is not ours.
            (f"sh -c 'cp \"$0\" \"$0.changed\" && printf X | dd of=\"$0.changed\" bs=1 "
             f"seek=4096 conv=notrunc 2>/dev/null && {sign} -in \"$0.changed\" -out \"$1\"'",
             "signing changed servicepack.exe beyond its checksum and signature"),
        ]
        for command, failure in commands:
            with self.subTest(command=command):
                self.assertTrue((tree / "servicepack.exe").exists())
                code, output = self.rebuild_second(SP_SIGN_COMMAND=command)
                self.assertNotEqual(code, 0, output)
                self.assertIn(failure, output)
                self.assertEqual(sorted(p.name for p in tree.glob("servicepack.exe*")), [])
                # The next case starts from a good build again.
                code, output = self.rebuild_second(SP_SIGN_CERT=self.cert, SP_SIGN_KEY=self.key)
                self.assertEqual(code, 0, output)


if __name__ == "__main__":
    unittest.main()
