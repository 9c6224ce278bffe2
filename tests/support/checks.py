"""What every Python test shares: each check's verdict printed as it is made,
as the CMake check scripts print theirs (cmake/checks.cmake), and a summary
that gives the test's exit status. Call it as check(what, ok, detail)."""


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = []

    def __call__(self, what, ok, detail=""):
        if ok:
            self.passed += 1
            print(f"ok      {what}", flush=True)
        else:
            self.failed.append(what)
            print(f"FAILED  {what}" + (f": {detail}" if detail != "" else ""), flush=True)
        return ok

    def summary(self):
        """Prints the counts; the exit status: 1 when any check failed."""
        print(f"{self.passed} passed, {len(self.failed)} failed", flush=True)
        return 1 if self.failed else 0
