"""Debian's headless Chromium through its WebDriver, as the web tests and
benchmarks drive the page."""
from selenium import webdriver
from selenium.webdriver.chrome.service import Service


def browser():
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for argument in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--window-size=1400,1000",
                     "--no-first-run", "--disable-background-networking", "--disable-extensions"):
        options.add_argument(argument)
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
