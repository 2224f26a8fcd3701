"""scripts/test.sh and scripts/package.sh in a scratch checkout, with stand-ins for sudo, the
model set-up and the packaging tools: nothing is built, installed or fetched."""

import os
import subprocess
import tempfile
import unittest

SCRIPTS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts")


def run(work, script, files, stand_ins, gone=()):
    """Runs scripts/`script` in a git checkout of `files` less `gone`, the stand-ins first on
    PATH: (the finished process, what the stand-ins logged)."""
    with open(os.path.join(SCRIPTS, script)) as original:
        files = dict(files, **{"scripts/" + script: original.read()})
    for folder, contents in (("tree", files), ("bin", stand_ins)):
        for name, text in contents.items():
            path = os.path.join(work, folder, name)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "w") as file:
                file.write(text)
            os.chmod(path, 0o755)
    git = ["git", "-C", work + "/tree", "-c", "user.name=q", "-c", "user.email=q@q"]
    for command in (["init", "-q"], ["add", "."], ["commit", "-qm", "scratch"]):
        subprocess.run(git + command, check=True, capture_output=True)
    for name in gone:
        os.remove(os.path.join(work, "tree", name))
    env = dict(os.environ, PATH=work + "/bin:" + os.environ["PATH"], LOG=work + "/log")
    done = subprocess.run(["bash", f"{work}/tree/scripts/{script}"], env=env, text=True,
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    with open(env["LOG"], "a+") as log:
        log.seek(0)
        return done, log.read()


class ScriptsTest(unittest.TestCase):
    def test_the_test_command_and_the_package_script_on_what_they_cannot_have(self):
        with tempfile.TemporaryDirectory() as work:
            # Not root, no sudo at hand, no terminal: one line, at once; an unreadable
            # .clang-format fails the format check.
            done, asked = run(work, "test.sh", {
                "scripts/deps.sh": "echo deps\n", "scripts/models.sh": "", "a.cpp": "int a;\n",
                ".clang-format": "BasedOnStyle: [\n"}, {
                "id": '#!/bin/sh\n[ "$1" = -u ] && echo 1000 || exec /usr/bin/id "$@"\n',
                "sudo": '#!/bin/sh\necho "$*" >>"$LOG"\nexit 1\n'})
            lines = done.stdout.splitlines()
            self.assertRegex(lines[0], r"^== Debian 1[23]: skipped, its fresh root needs root")
            self.assertEqual((lines[1], asked), ("deps", "-n true\n"))
            self.assertIn(".clang-format", done.stdout)
            self.assertEqual((lines[-1], done.returncode), ("all presets: 0 passed, 1 failed", 1))
        with tempfile.TemporaryDirectory() as work:
            # A tracked file deleted from the tree is named, and the rest is packaged.
            done, built = run(work, "package.sh", {
                "CMakeLists.txt": "project(Quorvel VERSION 1.2.3)\n", "debian/control": "",
                "gone.txt": ""}, {
                "dpkg-query": "#!/bin/sh\necho 'install ok installed'\n",
                "dpkg-checkbuilddeps": "#!/bin/sh\n",
                "dpkg-buildpackage": '#!/bin/sh\nfind . -type f >"$LOG"\nexit 1\n'}, ["gone.txt"])
            self.assertIn("gone.txt is deleted", done.stderr)
            self.assertIn("./CMakeLists.txt", built.split())


if __name__ == "__main__":
    unittest.main()
