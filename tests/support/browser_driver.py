"""Drives headless Chromium with the unpacked extension, as a user would.

Usage: browser_driver.py EXTENSION PROFILE HOST ACTION URL
EXTENSION is the unpacked extension's folder, PROFILE an empty folder for the
browser's profile, HOST the program Chromium starts as the native-messaging
host. ACTION is one of:
  send   the extension's own message handler (what the context-menu entry
         calls) hands URL over; prints the host's answer as JSON.
  click  switches "Send downloads to Pellmarsh" on for .bin and .pdf files,
         opens the page URL and clicks its first link; prints
         {"handedOver": true} once the browser's own download is gone from its
         list.
  keep-listed, keep-shift, keep-refused
         as click, with the page's site on the never-taken list, or the link
         clicked with Shift held, or plainly for a file Pellmarsh's server
         refuses; prints {"keptInBrowser": true} once the browser's own
         download is complete.
Any failure prints {"error": ...} and exits 1.
"""

import json
import os
import sys
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

EXTENSION_ID = "iaaocdemgjkmepmgmbhpkddkdijbihmn"
HOST_NAME = "org.example.pellmarsh"
DEADLINE_SECONDS = 60


def install_host(profile, host):
    # Chromium reads a profile's own host manifests from this folder.
    folder = os.path.join(profile, "NativeMessagingHosts")
    os.makedirs(folder, exist_ok=True)
    manifest = {
        "name": HOST_NAME,
        "description": "Pellmarsh",
        "path": host,
        "type": "stdio",
        "allowed_origins": [f"chrome-extension://{EXTENSION_ID}/"],
    }
    with open(os.path.join(folder, HOST_NAME + ".json"), "w") as out:
        json.dump(manifest, out)


def start_browser(extension, profile):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in (
        "--headless=new",
        "--no-sandbox",
        "--disable-gpu",
        "--disable-dev-shm-usage",
        f"--user-data-dir={profile}",
        f"--load-extension={extension}",
        f"--disable-extensions-except={extension}",
    ):
        options.add_argument(argument)
    options.add_experimental_option(
        "prefs",
        {
            "download.default_directory": os.path.join(profile, "downloads"),
            "download.prompt_for_download": False,
        },
    )
    # The browser keeps its other state in HOME: the profile's folder, not the user's.
    service = Service("/usr/bin/chromedriver", env=dict(os.environ, HOME=profile))
    return webdriver.Chrome(service=service, options=options)


def open_extension_page(driver):
    # The service worker may still be starting; its page answers once loaded.
    deadline = time.monotonic() + DEADLINE_SECONDS
    while True:
        driver.get(f"chrome-extension://{EXTENSION_ID}/options.html")
        if driver.execute_script("return typeof chrome.runtime?.sendMessage === 'function'"):
            return
        if time.monotonic() > deadline:
            raise RuntimeError("the extension's page did not load")
        time.sleep(0.2)


def send(driver, url):
    open_extension_page(driver)
    driver.set_script_timeout(DEADLINE_SECONDS)
    return driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "chrome.runtime.sendMessage({urls: [arguments[0]]})"
        ".then(done, (error) => done({error: String(error)}));",
        url,
    )


def click_link(driver, url, never_sites="", shift=False):
    open_extension_page(driver)
    driver.set_script_timeout(DEADLINE_SECONDS)
    driver.execute_async_script(
        "const done = arguments[arguments.length - 1];"
        "chrome.downloads.onErased.addListener(() => { window.erased = true; });"
        "chrome.storage.local.set({captureDownloads: true, minimumSizeMb: 0,"
        " fileTypes: 'bin pdf', neverSites: arguments[0]}).then(done);",
        never_sites,
    )
    extension_tab = driver.current_window_handle
    driver.switch_to.new_window("tab")
    driver.get(url)
    link = driver.find_element(By.TAG_NAME, "a")
    if shift:
        ActionChains(driver).key_down(Keys.SHIFT).click(link).key_up(Keys.SHIFT).perform()
    else:
        link.click()
    driver.switch_to.window(extension_tab)
    return extension_tab


def keep(driver, url, never_sites="", shift=False):
    click_link(driver, url, never_sites, shift)
    deadline = time.monotonic() + DEADLINE_SECONDS
    while time.monotonic() < deadline:
        if driver.execute_async_script(
            "const done = arguments[arguments.length - 1];"
            "chrome.downloads.search({state: 'complete'}).then((items) => done(items.length > 0));"
        ):
            return {"keptInBrowser": True}
        time.sleep(0.1)
    raise RuntimeError("the browser's own download did not complete")


def click(driver, url):
    click_link(driver, url)
    # The extension erases the browser's download once Pellmarsh took the link.
    deadline = time.monotonic() + DEADLINE_SECONDS
    while time.monotonic() < deadline:
        if driver.execute_script("return window.erased === true"):
            return {"handedOver": True}
        time.sleep(0.1)
    raise RuntimeError("the browser's download was never handed over")


def main():
    extension, profile, host, action, url = sys.argv[1:6]
    install_host(profile, host)
    driver = start_browser(extension, profile)
    try:
        if action == "send":
            answer = send(driver, url)
        elif action == "keep-listed":
            answer = keep(driver, url, never_sites="127.0.0.1")
        elif action == "keep-shift":
            answer = keep(driver, url, shift=True)
        elif action == "keep-refused":
            answer = keep(driver, url)
        else:
            answer = click(driver, url)
    finally:
        driver.quit()
    print(json.dumps(answer))


if __name__ == "__main__":
    try:
        main()
    except Exception as error:  # the test reads the reason from the output
        print(json.dumps({"error": f"{type(error).__name__}: {error}"}))
        sys.exit(1)
