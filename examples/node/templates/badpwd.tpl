Hello,

your letter to the file-echo manager carried a wrong password.
Please check the password you set for 2:5020/1 and write again.

    Olvix at 2:5020/1
