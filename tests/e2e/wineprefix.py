"""Makes the throw-away Wine prefix that the Wine tests share (setup), with a persistent
wineserver, and ends that wineserver (cleanup)."""
import os
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.dirname(__file__))
import harness  # noqa: E402


def main(action):
    prefix = harness.WINEPREFIX
    env = dict(os.environ)
    env.update(harness.wine_env())
    if action == "setup":
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        shutil.rmtree(prefix, ignore_errors=True)
        subprocess.run(["wineboot", "-i"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env)
        # Without a window manager Wine waits 2 s whenever a window is hidden.
        subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed",
                        "/t", "REG_SZ", "/d", "N", "/f"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.Popen(["wineserver", "-f", "-p"], env=env,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        # The first program of a wineserver session starts Wine's background services,
        # which keep its standard handles open: start them here with none of ours, so
        # that no test waits for them to close its pipes.
        subprocess.run(["wine", "cmd", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        print("wine prefix ready:", prefix)
    else:
        subprocess.run(["wineserver", "-k"], env=env)
        print("wineserver ended")


if __name__ == "__main__":
    main(sys.argv[1])
