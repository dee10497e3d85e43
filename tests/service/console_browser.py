#!/usr/bin/python3
"""The web console in a real browser (headless Chromium through
chromium-driver): vltxd in front of vltx-sim; a test receipt printed by
clicking and followed to its end on the page and on the paper roll; the
console's own client printing one receipt for two identical requests; a
printer's state change shown live, without a reload, when the simulator
stops; a description holding <script> shown as text; the day's log summed
up and downloaded; the token asked for and kept for the tab alone. Leaves a
screenshot.

usage: console_browser.py VLTXD VLTX_SIM LIBVLTXDRV SCREENSHOT.png"""

import os
import shutil
import sys

from selenium import webdriver
from selenium.webdriver.chrome.service import Service as DriverService
from selenium.webdriver.common.by import By
from selenium.webdriver.support import expected_conditions
from selenium.webdriver.support.ui import WebDriverWait

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from vltxd_harness import count_items, run, service_on_simulator, wait_for  # noqa: E402

HOSTILE = "<script>window.hostile=1</script><b>X</b>"


def browser(profile):
    o = webdriver.ChromeOptions()
    o.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
    for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                 "--disable-background-networking", "--disable-component-update", "--disable-sync",
                 "--disable-dev-shm-usage", "--window-size=1280,900", "--user-data-dir=" + profile):
        o.add_argument(flag)
    return webdriver.Chrome(service=DriverService(shutil.which("chromedriver") or "/usr/bin/chromedriver"),
                            options=o)


def token_session(driver, vltxd, sim_bin, library):
    """A service with a token: the page asks for it, keeps it in the tab's
    sessionStorage alone, and forgets it on request."""
    token = "console-test-token-0123456789"
    with service_on_simulator(vltxd, sim_bin, library, "vltxd-console-token-", token=token, printer_extra="") as (_, svc, _):
        wait = WebDriverWait(driver, 20)
        driver.get(svc.base + "/")
        field = wait.until(expected_conditions.visibility_of_element_located((By.ID, "token")))
        field.send_keys(token)
        driver.find_element(By.CSS_SELECTOR, "#login button").click()
        wait.until(expected_conditions.presence_of_element_located(
            (By.CSS_SELECTOR, 'tr[data-printer="caixa1"] td.state[data-state="ready"]')))
        wait.until(lambda d: d.find_element(By.ID, "stream").get_attribute("data-state") == "live")
        assert driver.execute_script("return sessionStorage.getItem('vltxd-token');") == token
        assert driver.execute_script("return localStorage.length;") == 0
        assert token not in driver.execute_script("return document.cookie;")
        driver.find_element(By.ID, "forget").click()
        assert driver.execute_script("return sessionStorage.getItem('vltxd-token');") is None
        assert driver.find_element(By.ID, "login").is_displayed()


def main(vltxd, sim_bin, library, screenshot):
    with service_on_simulator(vltxd, sim_bin, library, "vltxd-console-") as (sim, svc, work):
        driver = browser(os.path.join(work, "profile"))
        try:
            check(driver, sim, svc, vltxd, sim_bin, library, screenshot)
        finally:
            driver.quit()


def check(driver, sim, svc, vltxd, sim_bin, library, screenshot):
    # A task whose description holds markup, there before the page opens.
    status, body, _ = svc.request("POST", "/printers/caixa1/receipt?wait=30000",
                                  {"items": [{"code": "1", "description": HOSTILE, "quantity": "1000",
                                              "price": "100", "tax": "T1", "unit": "UN", "decimals": "2"}],
                                   "payments": [{"form": "01", "description": "DINHEIRO", "value": "100"}],
                                   "operator": "HOSTIL"}, {"Idempotency-Key": "hostile-1"})
    assert status == 200 and body["state"] == "done", body
    hostile_task = body["task"]

    wait = WebDriverWait(driver, 20)
    driver.get(svc.base + "/")
    state = wait.until(expected_conditions.presence_of_element_located(
        (By.CSS_SELECTOR, 'tr[data-printer="caixa1"] td.state[data-state="ready"]')))
    assert state.text == "ready"
    wait.until(lambda d: d.find_element(By.ID, "stream").get_attribute("data-state") == "live")
    driver.execute_script("window.sameDocument = true;")

    # The markup is text: the step's arguments show it, nothing ran, no element came of it.
    card = wait.until(expected_conditions.presence_of_element_located(
        (By.CSS_SELECTOR, '[data-task="%s"]' % hostile_task)))
    driver.execute_script("arguments[0].open = true;", card)
    assert HOSTILE in card.find_element(By.CSS_SELECTOR, ".steps").text, card.text
    assert not card.find_elements(By.CSS_SELECTOR, ".steps script, .steps b")
    assert driver.execute_script("return window.hostile === undefined;")

    # A test receipt by clicking, confirmed, followed on the page until it is done.
    driver.find_element(By.CSS_SELECTOR, 'tr[data-printer="caixa1"] button.receipt').click()
    alert = wait.until(expected_conditions.alert_is_present())
    assert "fiscal document" in alert.text
    alert.accept()
    message = wait_for(lambda: "task t" in driver.find_element(By.ID, "message").text and
                       driver.find_element(By.ID, "message").text, 20,
                       "the page to name the task: %r" % driver.find_element(By.ID, "message").text)
    task = message.split("task ")[1].split()[0]
    wait.until(expected_conditions.presence_of_element_located(
        (By.CSS_SELECTOR, '[data-task="%s"][data-state="done"]' % task)))
    wait.until(lambda d: d.find_element(By.ID, "message").text.endswith(task + " done"))
    roll = sim.roll()
    assert count_items(roll, "TEST RECEIPT ITEM") == 1, roll
    assert "     operador  CONSOLE" in roll, roll
    # Cancelling a confirmation prints nothing.
    tasks_before = len(svc.request("GET", "/tasks")[1]["tasks"])
    driver.find_element(By.CSS_SELECTOR, 'tr[data-printer="caixa1"] button.receipt').click()
    wait.until(expected_conditions.alert_is_present()).dismiss()
    driver.find_element(By.CSS_SELECTOR, 'tr[data-printer="caixa1"] button.xreport').click()
    alert = wait.until(expected_conditions.alert_is_present())
    assert "X report" in alert.text
    alert.dismiss()
    assert len(svc.request("GET", "/tasks")[1]["tasks"]) == tasks_before

    # The page's own client: one key, two requests, one receipt.
    answers = driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        const r = vltxd.TEST_RECEIPT;
        const sale = Object.assign({}, r, {items: [Object.assign({}, r.items[0], {description: 'BROWSER CLIENT'})]});
        const key = vltxd.newKey();
        (async () => {
          const first = await vltxd.printReceipt('caixa1', sale, key, 30000);
          const again = await vltxd.printReceipt('caixa1', sale, key, 30000);
          done([first.status, first.body.repeat, first.body.task, again.status, again.body.repeat, again.body.task]);
        })().catch((e) => done(String(e)));
    """)
    assert answers[0] == 200 and answers[1] is False and answers[3] == 200 and answers[4] is True, answers
    assert answers[2] == answers[5], answers
    assert count_items(sim.roll(), "BROWSER CLIENT") == 1, sim.roll()

    # The day's log summary, as vltx log --summary gives it.
    driver.find_element(By.CSS_SELECTOR, 'tr[data-printer="caixa1"] button.showlog').click()
    wait.until(lambda d: "frames sent" in d.find_element(By.ID, "log-summary").text)
    assert "ecf_VendaItem" in driver.find_element(By.ID, "log-summary").text
    # Its download: the day's file as the driver wrote it.
    downloads = os.path.join(os.path.dirname(sim.paper), "downloads")
    os.makedirs(downloads)
    driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow", "downloadPath": downloads})
    driver.find_element(By.ID, "log-download").click()
    saved = os.path.join(downloads, "caixa1.log")
    wait_for(lambda: os.path.exists(saved) and os.path.getsize(saved) > 0, 10, "the log's download")
    with open(saved, "rb") as f:
        assert b"TX [" in f.read()
    driver.save_screenshot(screenshot)

    # The simulator stops; the next exchange finds the line gone and the
    # page shows it from the events stream, in the same document.
    sim.stop()
    svc.request("GET", "/printers/caixa1/status")
    wait_for(lambda: driver.find_element(By.CSS_SELECTOR, 'tr[data-printer="caixa1"] td.state').text
             not in ("", "ready"), 10, "the page to show caixa1 no longer ready")
    assert driver.execute_script("return window.sameDocument === true;")
    shown = driver.find_element(By.CSS_SELECTOR, 'tr[data-printer="caixa1"] td.state').text
    driver.save_screenshot(screenshot.replace(".png", "-stopped.png"))
    token_session(driver, vltxd, sim_bin, library)
    print("console_browser: receipt %s printed by clicking, client repeat answered from the journal, "
          "state shown live as %r, markup shown as text; screenshot %s" % (task, shown, screenshot))


if __name__ == "__main__":
    run(main, __doc__)
