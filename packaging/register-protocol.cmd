@echo off
rem Registers the "orvin" URL protocol for the current user (no elevation):
rem a shop page's link orvin://key=K^&svr=S then starts the launcher that sits
rem beside this script. Run it once after copying OrvinLauncher.exe into place.
rem   register-protocol.cmd            register
rem   register-protocol.cmd /remove    remove the registration
setlocal
set "SCHEME=orvin"
set "EXE=%~dp0OrvinLauncher.exe"
set "KEY=HKCU\Software\Classes\%SCHEME%"

if /i "%~1"=="/remove" (
  reg delete "%KEY%" /f >nul 2>&1
  echo Removed the %SCHEME%:// protocol.
  exit /b 0
)
if not exist "%EXE%" (
  echo OrvinLauncher.exe was not found beside this script: %EXE%
  exit /b 1
)
reg add "%KEY%" /ve /d "URL:Orvin Launcher Protocol" /f >nul
if errorlevel 1 goto failed
reg add "%KEY%" /v "URL Protocol" /t REG_SZ /f >nul
if errorlevel 1 goto failed
reg add "%KEY%\DefaultIcon" /ve /d "\"%EXE%\",0" /f >nul
if errorlevel 1 goto failed
reg add "%KEY%\shell\open\command" /ve /d "\"%EXE%\" \"%%1\"" /f >nul
if errorlevel 1 goto failed
echo Registered %SCHEME%:// for %USERNAME%: "%EXE%" "%%1"
exit /b 0

:failed
echo Could not write the registration under %KEY%.
exit /b 1
