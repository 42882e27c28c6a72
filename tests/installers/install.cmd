@echo off
rem A publisher's wrapper around an MSI: a slow start, then the MSI beside it.
ping -n 5 127.0.0.1 >nul
"%SystemRoot%\system32\msiexec.exe" /i "%~dp0app.msi" /qn
exit /b %errorlevel%
