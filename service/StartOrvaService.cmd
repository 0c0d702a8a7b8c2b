@echo off
rem Starts the Orvanta backup service.
net start OrvaStanardServer
