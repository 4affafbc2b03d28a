/* createdate: 08/05/2015 09:01:32.090 , modifydate: 08/05/2015 09:01:32.090 */
go
/****** Object:  StoredProcedure [dbo].[ sp_msdel_dbocustomers ] ******/
 
IF object_id('dbo.[sp_msdel_dbocustomers]') IS NOT NULL 
	DROP PROCEDURE dbo.[sp_msdel_dbocustomers]
GO
---------------------------
create procedure [sp_msdel_dbocustomers]
		@pkc1 int
as
begin
	delete [dbo].[customers]
where [customerid] = @pkc1
/*-D- if @@rowcount = 0
    if @@microsoftversion>0x07320000
        exec sp_msreplraiserror 20598 -D-*/
 
 
end
go
